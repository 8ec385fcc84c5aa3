#pragma once

#include <QSettings>
#include <QStringList>
#include <QVariantMap>

// The one store of everything that survives a restart. Members are public and
// read directly; every change goes through a setter, which writes all keys.
class CSettings : public QSettings
{
public:
    CSettings(const QString &strOrganization, const QString &strApplication);
    ~CSettings() override;

    void load();
    void save();

    void setMainWindowHeight(int nHeight);
    void setMainWindowWidth(int nWidth);
    void setMainWindowMaximized(bool bMaximized);
    void setVolumeMuted(bool bMuted);
    void setVolume(int nVolume);
    void setAutoPlayLast(bool bAutoPlay);
    void setRegion(const QString &strRegion);
    void setLanguage(int nLanguage);
    void setChannelListVer(const QString &strVer);
    void setPlayingVideoName(const QString &strName);
    void setPlayingVideoUrl(const QString &strUrl);
    void setDefaultChannels(const QStringList &lstChannels);

    void clearCategories();
    void addCategory(const QString &strName, const QStringList &lstChannels);
    bool firstDefaultChannel(QString &strName, QString &strUrl) const;

    int m_nMainWindowHeight = 250;
    int m_nMainWindowWidth = 400;
    bool m_bMainWindowMaximized = true;
    bool m_bVolumeMuted = false;
    int m_nVolume = 100;
    bool m_bAutoPlayLast = true;
    QString m_strRegion;
    int m_nLanguage = 0;
    QString m_strChannelListVer;
    QString m_strPlayingVideoName;
    QString m_strPlayingVideoUrl;
    QString m_strPlayingRegion;
    int m_nCategoryVer = 0;
    QStringList m_lstCategoryList;
    QVariantMap m_mapCategory;
    QStringList m_lstDefaultChannels;

protected:
    bool event(QEvent *pEvent) override;

private:
    void reportWriteFailure();

    bool m_bWriteFailureReported = false;
};

extern CSettings *g_pSettings;
