#pragma once

#include <QString>

// The folded form of a channel name that searching compares: case folded,
// compatibility forms decomposed (NFKD, so "ＮＨＫ" is "nhk" and "ｶﾞ" is "ガ")
// and accents dropped (so "Télé" is "tele"). Chinese and Japanese
// text keeps its characters and is found by plain substring. A name is folded
// once, when its channel is made; what the user types is folded the same way.
class ChannelSearchKey
{
public:
    static QString fold(const QString &strText);
    // Whether a folded name holds the folded text; an empty text matches all.
    static bool matches(const QString &strKey, const QString &strFoldedText)
    {
        return strFoldedText.isEmpty() || strKey.contains(strFoldedText);
    }
};
