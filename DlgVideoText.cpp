#include "DlgVideoText.h"
#include "Log.h"

#include <QDebug>
#include <QFontMetrics>
#include <QPainter>
#include <QTextOption>
#include <QtMath>

CDlgVideoText::CDlgVideoText(QWidget *parent) : QDialog(parent)
{
    // The second call replaces the first: no window type of its own, so the
    // overlay lives as a frameless child placed in the parent's coordinates.
    setWindowFlags(Qt::WindowStaysOnTopHint);
    setWindowFlags(Qt::FramelessWindowHint);
    setFont(QFont(QStringLiteral("Aria"), 14, 14, false));
    m_nMargin = 5;
}

CDlgVideoText::~CDlgVideoText() = default;

QSize CDlgVideoText::textSize() const
{
    // The text is laid out with word wrap into the box this size leaves, so
    // the box must hold the text's exact (fractional) width: rounded down, the
    // last word would wrap onto a line below the widget and never be seen.
    const QFontMetricsF metrics(font());
    return QSize(qCeil(metrics.horizontalAdvance(m_strText)) + 2 * m_nMargin,
                 QFontMetrics(font()).height() + 2 * m_nMargin);
}

void CDlgVideoText::paintEvent(QPaintEvent *event)
{
    qCDebug(lcOverlay) << "CDlgVideoText::paintEvent";
    QRect r = rect();
    qCDebug(lcOverlay) << r;
    r.adjust(m_nMargin, m_nMargin, -m_nMargin, -m_nMargin);
    qCDebug(lcOverlay) << r;
    qCDebug(lcOverlay) << m_strText;

    QPainter painter(this);
    painter.setBrush(QBrush(QColor(0, 255, 0, 255)));
    painter.setPen(QColor(255, 0, 0, 255));
    painter.drawText(QRectF(r.left(), r.top(), r.width(), r.height()), m_strText, QTextOption());
    QDialog::paintEvent(event);
    painter.end();
}
