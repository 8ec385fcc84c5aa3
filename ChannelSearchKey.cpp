#include "ChannelSearchKey.h"

QString ChannelSearchKey::fold(const QString &strText)
{
    // Most names are plain ASCII, for which folding is lower-casing; the full
    // decomposition costs several times more and is kept for the rest.
    bool bAscii = true;
    for (const QChar c : strText) {
        if (c.unicode() >= 0x80) {
            bAscii = false;
            break;
        }
    }
    if (bAscii)
        return strText.toLower();

    const QString strDecomposed = strText.normalized(QString::NormalizationForm_KD);
    QString strKey;
    strKey.reserve(strDecomposed.size());
    for (const QChar c : strDecomposed) {
        // Accents go; the kana voicing marks stay, for カ and ガ are different
        // sounds, not one letter with and without an accent.
        const bool bKanaMark = c.unicode() == 0x3099 || c.unicode() == 0x309a;
        if (c.category() != QChar::Mark_NonSpacing || bKanaMark)
            strKey.append(c);
    }
    return strKey.toCaseFolded();
}
