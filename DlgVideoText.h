#pragma once

#include <QDialog>

// A borderless line of red text over the video (channel name, volume). The main
// window sets the text, sizes it with textSize() and shows, places and hides it.
class CDlgVideoText : public QDialog
{
    Q_OBJECT

public:
    explicit CDlgVideoText(QWidget *parent);
    ~CDlgVideoText() override;

    QSize textSize() const;

    QString m_strText;
    int m_nMargin = 5;

protected:
    void paintEvent(QPaintEvent *event) override;
};
