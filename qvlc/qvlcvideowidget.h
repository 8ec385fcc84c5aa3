#pragma once

#include <QMap>
#include <QWidget>

class QVlcMenu;
class QVlcMouseHook;
class QWindow;

// The surface libVLC draws the video into, and the source of all mouse input
// over the video. libVLC's own mouse handling is off, so the input is taken by
// one process-wide hook shared by every video widget: it turns the moves and
// clicks over a widget's native window (or over a native child of it) into the
// widget's signals, on the GUI thread, and never swallows an event.
class QVlcVideoWidget : public QWidget
{
    Q_OBJECT

public:
    explicit QVlcVideoWidget(QWidget *parent = nullptr);
    ~QVlcVideoWidget() override;

    // Takes the menu and forwards its four action signals; the menu set
    // before (if any) is deleted. A null menu leaves the widget without one.
    void setMenu(QVlcMenu *menu);
    QVlcMenu *menu() const { return m_pMenu; }

    // True while the input hook is installed (between the first widget's
    // construction and the destruction of the last registered one).
    static bool isHookInstalled() { return s_hook != nullptr; }

signals:
    void mouseLeftPress();
    void mouseLeftRelease();
    void mouseLeftDbClick();
    void mouseMove();
    void mouseLeave();
    void clickOptions();
    void clickAbout();
    void clickFullscreen();
    void clickExit();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    // The hook has already turned these into signals; the widget takes them so
    // that they do not travel on to the parent's handlers and act twice.
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    // Wheel events are left to the parent (the main window sets the volume).
    void wheelEvent(QWheelEvent *event) override;

private:
    friend class QVlcMouseHook;

    // The hook procedure: called for every event the application dispatches;
    // returns whether the event should stop (never).
    static bool hookProc(QObject *watched, QEvent *event);
    static QVlcVideoWidget *widgetForWindow(QWindow *window);
    static void rekeyWidget(QObject *object);
    void unregister();

    QVlcMenu *m_pMenu = nullptr;

    static QVlcMouseHook *s_hook;
    static QMap<WId, QVlcVideoWidget *> s_widgets;
};
