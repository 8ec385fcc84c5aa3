#include "DlgStatusText.h"

#include <QWindow>

CDlgStatusText::CDlgStatusText(QWidget *parent, Qt::Alignment alignment, int nTop)
    : CDlgVideoText(parent), m_alignment(alignment), m_nTop(nTop)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
}

void CDlgStatusText::showText(const QString &strText)
{
    if (strText.isEmpty()) {
        hide();
        return;
    }
    m_strText = strText;
    update();
    place();
    show();
    // The overlays are native windows (the video surface makes its siblings
    // native), so letting the pointer through takes the window's flag too.
    if (QWindow *pWindow = windowHandle())
        pWindow->setFlag(Qt::WindowTransparentForInput);
}

void CDlgStatusText::place()
{
    const QWidget *pParent = parentWidget();
    if (!pParent)
        return;
    resize(textSize());
    const int x = (m_alignment & Qt::AlignHCenter) ? (pParent->width() - width()) / 2 : 0;
    const int y = (m_alignment & Qt::AlignVCenter) ? (pParent->height() - height()) / 2 : m_nTop;
    move(x, y);
}
