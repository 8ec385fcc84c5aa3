#include "qvlcvideowidget.h"

#include "qvlclog.h"
#include "qvlcmenu.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDebug>
#include <QMouseEvent>
#include <QWindow>

// The process-wide input hook. libVLC draws over the whole widget and takes no
// mouse input of its own, so the pointer events over the video reach the
// native window of the widget (or the child window libVLC made inside it).
// An application-wide event filter sees them there first, before any widget
// handler, and hands them to the class's hook procedure.
class QVlcMouseHook : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        return QVlcVideoWidget::hookProc(watched, event);
    }
};

QVlcMouseHook *QVlcVideoWidget::s_hook = nullptr;
QMap<WId, QVlcVideoWidget *> QVlcVideoWidget::s_widgets;

QVlcVideoWidget::QVlcVideoWidget(QWidget *parent) : QWidget(parent)
{
    // Black wherever no video covers the surface.
    QPalette pal = palette();
    pal.setBrush(QPalette::All, QPalette::Window, QBrush(Qt::black, Qt::SolidPattern));
    setPalette(pal);
    setAutoFillBackground(true);

    // libVLC needs a native window to draw into, and the hook tells the video
    // apart from the rest of the program by its native window.
    setAttribute(Qt::WA_NativeWindow);

    if (!s_hook) {
        s_hook = new QVlcMouseHook;
        qApp->installEventFilter(s_hook);
    }
    // Every widget is registered, not only the one that installed the hook:
    // a second video surface gets its input too, and the hook stays until
    // the last registered widget is gone.
    s_widgets.insert(winId(), this);
}

QVlcVideoWidget::~QVlcVideoWidget()
{
    unregister();
    if (s_widgets.isEmpty() && s_hook) {
        qApp->removeEventFilter(s_hook);
        delete s_hook;
        s_hook = nullptr;
    }
}

void QVlcVideoWidget::unregister()
{
    // Found by value: the native window may have been re-created since the
    // widget was entered, and asking for winId() here would make a new one.
    for (auto it = s_widgets.begin(); it != s_widgets.end();) {
        if (it.value() == this)
            it = s_widgets.erase(it);
        else
            ++it;
    }
}

void QVlcVideoWidget::setMenu(QVlcMenu *menu)
{
    delete m_pMenu;
    m_pMenu = menu;
    if (m_pMenu) {
        connect(m_pMenu, &QVlcMenu::clickOptions, this, &QVlcVideoWidget::clickOptions);
        connect(m_pMenu, &QVlcMenu::clickAbout, this, &QVlcVideoWidget::clickAbout);
        connect(m_pMenu, &QVlcMenu::clickFullscreen, this, &QVlcVideoWidget::clickFullscreen);
        connect(m_pMenu, &QVlcMenu::clickExit, this, &QVlcVideoWidget::clickExit);
    }
}

void QVlcVideoWidget::contextMenuEvent(QContextMenuEvent *event)
{
    if (m_pMenu)
        m_pMenu->exec(event->globalPos());
}

void QVlcVideoWidget::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    emit mouseLeave();
}

void QVlcVideoWidget::mouseMoveEvent(QMouseEvent *event)
{
    QWidget::mouseMoveEvent(event);
    qCDebug(lcQVlcInput) << "QVlcVideoWidget::mouseMoveEvent";
    event->accept();
}

void QVlcVideoWidget::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
}

void QVlcVideoWidget::mousePressEvent(QMouseEvent *event)
{
    // The base handler would also close a popup; there is none here.
    event->accept();
}

void QVlcVideoWidget::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
}

void QVlcVideoWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
}

void QVlcVideoWidget::wheelEvent(QWheelEvent *event)
{
    event->ignore();
}

QVlcVideoWidget *QVlcVideoWidget::widgetForWindow(QWindow *window)
{
    if (!window || !window->handle())
        return nullptr;
    return s_widgets.value(window->winId(), nullptr);
}

void QVlcVideoWidget::rekeyWidget(QObject *object)
{
    // Only a live video widget: while the base class destructor runs, the
    // object no longer counts as one and is already out of the map.
    QVlcVideoWidget *widget = qobject_cast<QVlcVideoWidget *>(object);
    if (!widget)
        return;
    widget->unregister();
    // A widget whose native window is gone is entered again when Qt gives it
    // a new one (another WinIdChange).
    if (widget->internalWinId())
        s_widgets.insert(widget->internalWinId(), widget);
}

bool QVlcVideoWidget::hookProc(QObject *watched, QEvent *event)
{
    // Called for every event of the GUI thread: leave at once for the ones
    // that do not concern the hook.
    void (QVlcVideoWidget::*signal)() = nullptr;
    switch (event->type()) {
    case QEvent::MouseMove:
        signal = &QVlcVideoWidget::mouseMove;
        break;
    case QEvent::MouseButtonPress:
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            signal = &QVlcVideoWidget::mouseLeftPress;
        break;
    case QEvent::MouseButtonRelease:
        switch (static_cast<QMouseEvent *>(event)->button()) {
        case Qt::LeftButton:
            signal = &QVlcVideoWidget::mouseLeftRelease;
            break;
        case Qt::MiddleButton:
            signal = &QVlcVideoWidget::mouseLeftDbClick;
            break;
        default:
            break;
        }
        break;
    case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            signal = &QVlcVideoWidget::mouseLeftDbClick;
        break;
    case QEvent::WinIdChange:
        // Keep the map keyed by the widget's current native window.
        rekeyWidget(watched);
        return false;
    default:
        return false;
    }
    if (!signal)
        return false;

    // Pointer events reach the native window under the pointer first; the
    // widget events Qt derives from them are not looked at, so each input
    // counts once.
    if (!watched->isWindowType())
        return false;
    QWindow *window = static_cast<QWindow *>(watched);
    QVlcVideoWidget *target = widgetForWindow(window);
    if (!target)
        target = widgetForWindow(window->parent());
    if (!target)
        return false;

    // Emits the target's signal (written without the emit keyword, which
    // clang mistakes for a call here).
    (target->*signal)();
    return false;
}
