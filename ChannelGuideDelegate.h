#pragma once

#include "guide/GuideTypes.h"

#include <QPointer>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVector>

class GuideService;
class QAbstractItemView;

// Draws a channel of the list with the programme on now under its name, in
// smaller, dimmer text above a thin line that shows how far it has run; the
// tooltip adds the times and the next programme. It asks the guide only for
// the rows being painted (or pointed at). A channel without a guide is drawn
// as the plain delegate draws it. The rows keep their size.
class ChannelGuideDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    ChannelGuideDelegate(const GuideService *pGuide, QObject *parent);

    // Makes this the view's delegate; the view is repainted when the guide
    // changes and every minute while it is visible.
    void attach(QAbstractItemView *pView);

    // What the row shows of the guide (nothing: as without a guide).
    GuideNowNext nowNextOf(const QModelIndex &index) const;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

private:
    void repaintViews();

    const GuideService *m_pGuide;
    QVector<QPointer<QAbstractItemView>> m_vecViews;
    QTimer m_timerMinute;
};
