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
    // A text of several lines (the channel name with what is on) is as wide
    // as its widest line.
    const QFontMetricsF metrics(font());
    const QStringList lstLines = m_strText.split(QLatin1Char('\n'));
    qreal dWidth = 0;
    for (const QString &strLine : lstLines)
        dWidth = qMax(dWidth, metrics.horizontalAdvance(strLine));
    const QFontMetrics lines(font());
    return QSize(qCeil(dWidth) + 2 * m_nMargin,
                 lines.height() + (lstLines.size() - 1) * lines.lineSpacing() + 2 * m_nMargin);
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
