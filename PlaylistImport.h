#pragma once

#include "ChannelListModel.h"

#include <QByteArray>
#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

// An M3U playlist brought into the channel list. The file is read, or the
// address downloaded, then parsed and sorted into categories off the GUI
// thread; what comes back are finished rows for the list to take as they are.
//
// Entries go into the category named by their group (group-title or
// #EXTGRP); entries without one go into a category named after the file, or
// after the address's host. A category gets no URL it holds already, so the
// same playlist imported twice adds nothing. Every channel is marked as coming
// from a playlist (StreamSchemeCheck), keeps its logo when that is an http(s)
// address, and keeps its user agent and referrer when they are acceptable
// (StreamOptions).
class PlaylistImport : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 kMaxBytes = 256 * 1024 * 1024;
    // Groups beyond this many new categories go into the source's category:
    // a list of a hundred thousand groups would make as many tabs.
    static constexpr int kMaxNewCategories = 200;
    static constexpr int kMaxLogoLength = 2048;
    static constexpr int kMaxTvgIdLength = 256;

    // A category of the list as the import finds it ("Newly" is never one).
    struct Target
    {
        QString strName;
        QVector<ChannelListModel::Row> vecRows; // shared with the list, not copied
    };
    // A category that gets channels.
    struct Category
    {
        QString strName;
        int nTarget = -1;            // index into the targets, or -1 for a new category
        ChannelListModel::Rows rows; // the new channels, made to be appended
    };
    struct Result
    {
        QVector<Category> vecCategories; // in the order the playlist first names them
        int nEntries = 0;                // channels the playlist held
        int nAdded = 0;
        int nDuplicates = 0;     // held already, or twice in the playlist
        int nRefusedOptions = 0; // user agents and referrers left out
        // The programme guides the playlist's header names (x-tvg-url,
        // url-tvg), for the categories that got channels.
        QStringList lstGuideAddresses;
        QString strError; // empty when it went well
        bool bCancelled = false;
    };

    explicit PlaylistImport(QObject *parent = nullptr);
    // Cancels what runs and waits for its worker.
    ~PlaylistImport() override;

    // One import at a time: a new one cancels the one that runs.
    void importFile(const QString &strPath, QVector<Target> targets);
    // http and https only.
    void importUrl(const QUrl &url, QVector<Target> targets);
    // Nothing is reported of the import any more; nothing has been changed.
    void cancel();
    bool isRunning() const { return m_bRunning; }

    // The work itself, on any thread: playlist bytes into categories.
    // strSource names the source in messages; strSourceCategory is the category
    // of the entries without a group. progress gets 0 to 100.
    static Result sort(const QByteArray &data, const QString &strSource,
                       const QString &strSourceCategory, const QVector<Target> &targets,
                       const std::atomic<bool> *pCancel = nullptr,
                       const std::function<void(int)> &progress = {});
    // The category of the entries without a group.
    static QString categoryForFile(const QString &strPath);
    static QString categoryForUrl(const QUrl &url);

signals:
    void progress(int nPercent);
    // Not emitted for a cancelled import.
    void finished(const PlaylistImport::Result &result);

private:
    void startSorting(std::function<Result(const std::function<void(int)> &)> work);
    void onDownloadFinished();
    void finish(const Result &result);
    void reportProgress(int nPercent);

    QNetworkAccessManager *m_pNetwork = nullptr;
    QPointer<QNetworkReply> m_pReply;
    QUrl m_url;
    QVector<Target> m_targets;
    std::shared_ptr<std::atomic<bool>> m_pCancel;
    QFutureWatcher<Result> m_watch;
    bool m_bRunning = false;
    int m_nLastPercent = -1;
};

Q_DECLARE_METATYPE(PlaylistImport::Result)
