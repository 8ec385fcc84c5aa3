#include "ChannelSearchField.h"

#include <QEvent>
#include <QKeyEvent>

ChannelSearchField::ChannelSearchField(QWidget *parent) : QLineEdit(parent)
{
    setObjectName(QStringLiteral("editChannelFilter"));
    setClearButtonEnabled(true);
    retranslate();
}

void ChannelSearchField::retranslate()
{
    setPlaceholderText(tr("Search channels (Ctrl+F)"));
}

void ChannelSearchField::changeEvent(QEvent *event)
{
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslate();
}

void ChannelSearchField::watch(QWidget *pWidget)
{
    pWidget->installEventFilter(this);
}

void ChannelSearchField::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        if (text().isEmpty()) {
            event->ignore();
            return;
        }
        clear();
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit activated();
        event->accept();
        return;
    default:
        QLineEdit::keyPressEvent(event);
    }
}

bool ChannelSearchField::eventFilter(QObject *pWatched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QLineEdit::eventFilter(pWatched, event);
    auto *pKey = static_cast<QKeyEvent *>(event);
    const QString strText = pKey->text();
    const bool bCommand =
        pKey->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    // A lone space keeps its meaning in the list; inside a search it is text.
    const bool bPrintable = !strText.isEmpty() && strText.at(0).isPrint() &&
                            !(strText == QLatin1String(" ") && text().isEmpty());
    if (bCommand || !bPrintable)
        return QLineEdit::eventFilter(pWatched, event);
    setFocus(Qt::ShortcutFocusReason);
    insert(strText);
    return true;
}
