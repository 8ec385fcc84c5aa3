#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QSettings>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <memory>

class SettingsFileCheck;
class SettingsWriter;

// The one store of everything that survives a restart. Members are public and
// read directly; every change goes through a setter, which updates the member
// at once and has all keys written: within half a second, off the GUI thread,
// and at the latest when the store is destroyed.
//
// The file is kept by a QSettings object of the store's own, not by the store
// being one: QSettings reads a file whole when it is opened, a tenth of a
// second for the 50 MB of a list of 200,000 channels, and at start-up that is
// done in the background.
class CSettings : public QObject
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

    // QSettings' own calls on the store's file, for tests and tools; sync()
    // writes every key now, on the calling thread.
    QVariant value(const QString &strKey, const QVariant &defaultValue = QVariant()) const;
    void setValue(const QString &strKey, const QVariant &value);
    void clear();
    void sync();
    QString fileName() const { return m_strFileName; }
    QSettings::Status status() const;

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
    // The last played channel's details (ChannelDetails::ofPlaying).
    void setPlayingVideoDetails(const QStringList &lstDetails);

    // The guide addresses the user gave; those an imported playlist named
    // for a category (empty: none any more). Keys of their own, beside the
    // channel lists, whose stored form stays as it is.
    void setGuideAddresses(const QStringList &lstAddresses);
    void setPlaylistGuideAddresses(const QString &strCategory, const QStringList &lstAddresses);

    void clearCategories();
    // lstDetails: the category's ChannelDetails, stored beside its triples.
    void addCategory(const QString &strName, const QStringList &lstChannels,
                     const QStringList &lstDetails = QStringList());
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
    // Beside the sixteen keys, and only written when they hold something:
    // per category the details of its channels (ChannelDetails), and those
    // of the last played channel.
    QVariantMap m_mapChannelDetails;
    QStringList m_lstPlayingVideoDetails;
    // The same for the guide addresses: the user's, and those of imported
    // playlists per category.
    QStringList m_lstGuideAddresses;
    QVariantMap m_mapPlaylistGuideAddresses; // category name -> QStringList

signals:
    // The channel lists read in the background are in the members.
    void channelListsReady();

protected:
    bool eventFilter(QObject *pWatched, QEvent *pEvent) override;

private:
    // What the background read hands over: the lists, and the QSettings
    // object that read them, moved to the GUI thread.
    struct ChannelListValues
    {
        QStringList lstCategoryList;
        QVariantMap mapCategory;
        QStringList lstDefaultChannels;
        QVariantMap mapChannelDetails;
        QSettings *pStore = nullptr;
    };
    static ChannelListValues readChannelLists(const QString &strOrganization,
                                              const QString &strApplication, QThread *pTo);
    void open(QSettings *pStore);
    QSettings *store() const;
    void
    loadAllButChannelLists(const std::function<QVariant(const QString &, const QVariant &)> &read);
    void onChannelListsRead();
    void applyValues();
    void onWritten(QSettings::Status status);
    void reportWriteFailure();

    QString m_strFileName;
    std::unique_ptr<QSettings> m_pStore; // null until a background read is done
    SettingsWriter *m_pWriter = nullptr;
    QFutureWatcher<ChannelListValues> m_watchChannelLists;
    bool m_bChannelListsLoaded = true;
    bool m_bWriteFailureReported = false;
};

extern CSettings *g_pSettings;
