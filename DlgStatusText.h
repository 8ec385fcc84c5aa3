#pragma once

#include "DlgVideoText.h"

// A line of overlay text that stays up over the video for as long as what it
// says holds (the playback status, a hint), in the overlays' style. Unlike
// the short-lived overlays it lets the pointer through to the video surface,
// whose moves drive the panels and the cursor, and it keeps its place when
// the window is resized.
class CDlgStatusText : public CDlgVideoText
{
    Q_OBJECT

public:
    // Centred in the parent (Qt::AlignCenter), or at its left edge nTop rows
    // down (Qt::AlignLeft | Qt::AlignTop). Hidden until showText().
    CDlgStatusText(QWidget *parent, Qt::Alignment alignment, int nTop = 0);

    // Shows the text, sized and placed; an empty text hides the line.
    void showText(const QString &strText);
    // Sizes and places it again (after the parent was resized).
    void place();

private:
    Qt::Alignment m_alignment;
    int m_nTop;
};
