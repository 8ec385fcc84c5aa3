#include "ChannelGuideDelegate.h"

#include "ChannelListModel.h"
#include "guide/GuideService.h"
#include "guide/GuideText.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

ChannelGuideDelegate::ChannelGuideDelegate(const GuideService *pGuide, QObject *parent)
    : QStyledItemDelegate(parent), m_pGuide(pGuide)
{
    connect(pGuide, &GuideService::changed, this, &ChannelGuideDelegate::repaintViews);
    m_timerMinute.setInterval(60 * 1000);
    connect(&m_timerMinute, &QTimer::timeout, this, &ChannelGuideDelegate::repaintViews);
    m_timerMinute.start();
}

void ChannelGuideDelegate::attach(QAbstractItemView *pView)
{
    pView->setItemDelegate(this);
    m_vecViews.removeAll(nullptr);
    m_vecViews << pView;
}

void ChannelGuideDelegate::repaintViews()
{
    for (const QPointer<QAbstractItemView> &pView : qAsConst(m_vecViews)) {
        if (pView && pView->isVisible())
            pView->viewport()->update();
    }
}

GuideNowNext ChannelGuideDelegate::nowNextOf(const QModelIndex &index) const
{
    return m_pGuide->nowNext(index.data(Qt::DisplayRole).toString(),
                             index.data(ChannelListModel::TvgIdRole).toString());
}

void ChannelGuideDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                 const QModelIndex &index) const
{
    const GuideNowNext nowNext = nowNextOf(index);
    if (!nowNext.bNow) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString strName = opt.text;
    opt.text.clear();
    const QWidget *pWidget = opt.widget;
    QStyle *pStyle = pWidget ? pWidget->style() : QApplication::style();
    // Background, selection, logo and focus as always; the text is ours.
    pStyle->drawControl(QStyle::CE_ItemViewItem, &opt, painter, pWidget);

    const QRect rcText =
        pStyle->subElementRect(QStyle::SE_ItemViewItemText, &opt, pWidget).adjusted(2, 1, -2, -1);
    const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (opt.state & QStyle::State_Active) ? QPalette::Active
                                                                            : QPalette::Inactive;
    const QColor colour = opt.palette.color(
        group, (opt.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text);
    QColor dim = colour;
    dim.setAlpha(150);

    QFont fontSmall = opt.font;
    fontSmall.setPointSizeF(opt.font.pointSizeF() * 0.85);
    const QFontMetrics fmName(opt.font);
    const QFontMetrics fmSmall(fontSmall);
    const int nLine = 2;
    const int nTop =
        rcText.top() + qMax(0, (rcText.height() - fmName.height() - fmSmall.height() - nLine) / 2);

    painter->save();
    painter->setFont(opt.font);
    painter->setPen(colour);
    painter->drawText(QRect(rcText.left(), nTop, rcText.width(), fmName.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      fmName.elidedText(strName, Qt::ElideRight, rcText.width()));
    painter->setFont(fontSmall);
    painter->setPen(dim);
    const int nGuideTop = nTop + fmName.height();
    painter->drawText(QRect(rcText.left(), nGuideTop, rcText.width(), fmSmall.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      fmSmall.elidedText(nowNext.now.strTitle, Qt::ElideRight, rcText.width()));
    // How far the programme has run.
    const QRect rcTrack(rcText.left(), nGuideTop + fmSmall.height(), rcText.width(), nLine);
    QColor track = colour;
    track.setAlpha(50);
    painter->fillRect(rcTrack, track);
    const double dDone = GuideText::progress(nowNext.now, m_pGuide->now());
    painter->fillRect(QRect(rcTrack.topLeft(), QSize(int(rcTrack.width() * dDone), nLine)), dim);
    painter->restore();
}

bool ChannelGuideDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view,
                                     const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (event && event->type() == QEvent::ToolTip && index.isValid()) {
        const GuideNowNext nowNext = nowNextOf(index);
        if (!nowNext.isEmpty()) {
            QToolTip::showText(event->globalPos(),
                               GuideText::toolTip(index.data(Qt::ToolTipRole).toString(), nowNext),
                               view);
            return true;
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}
