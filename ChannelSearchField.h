#pragma once

#include <QLineEdit>

// The search field over the channel list. Escape empties it (when it is empty
// the key goes on, and the panel hides as before), Enter asks for the first
// match to be played, and typing into a watched list goes into the field.
class ChannelSearchField : public QLineEdit
{
    Q_OBJECT

public:
    explicit ChannelSearchField(QWidget *parent);

    // Printable keys typed while the widget has the focus start a search.
    void watch(QWidget *pWidget);

signals:
    void activated();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *pWatched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void retranslate();
};
