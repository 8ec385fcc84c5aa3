#pragma once

#include <QFutureWatcher>
#include <QSettings>
#include <QStringList>
#include <QVariantMap>

class SettingsFileCheck;
class SettingsWriter;

// The one store of everything that survives a restart. Members are public and
// read directly; every change goes through a setter, which updates the member
// at once and has all keys written: within half a second, off the GUI thread,
// and at the latest when the store is destroyed.
class CSettings : public QSettings
{
    Q_OBJECT

public:
    // How the constructor reads the two channel lists (and the category
    // names): at once, or in the background, which lets the program show its
    // window before a big list is read. Every other key is read at once.
    enum class ChannelLists
    {
        ReadNow,
        ReadInBackground
    };

    CSettings(const QString &strOrganization, const QString &strApplication,
              ChannelLists lists = ChannelLists::ReadNow);
    ~CSettings() override;

    // Reads every key now.
    void load();
    // Has every key written (see above).
    void save();
    // Writes every key to the file now, on the calling thread; hides
    // QSettings::sync(), which knows nothing of the values not yet applied.
    void sync();

    // Whether the channel lists have been read (always, unless they are read
    // in the background and that is not finished).
    bool channelListsLoaded() const { return m_bChannelListsLoaded; }

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

signals:
    // The channel lists read in the background are in the members.
    void channelListsReady();

protected:
    bool event(QEvent *pEvent) override;

private:
    struct ChannelListValues
    {
        QStringList lstCategoryList;
        QVariantMap mapCategory;
        QStringList lstDefaultChannels;
    };
    CSettings(const SettingsFileCheck &check, const QString &strOrganization,
              const QString &strApplication, ChannelLists lists);
    static ChannelListValues readChannelLists(const QString &strPath);
    void
    loadAllButChannelLists(const std::function<QVariant(const QString &, const QVariant &)> &read);
    void onChannelListsRead();
    void applyValues();
    void onWritten(QSettings::Status status);
    void reportWriteFailure();

    SettingsWriter *m_pWriter = nullptr;
    QFutureWatcher<ChannelListValues> m_watchChannelLists;
    bool m_bChannelListsLoaded = true;
    bool m_bWriteFailureReported = false;
};

extern CSettings *g_pSettings;
