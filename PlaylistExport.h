#pragma once

#include "ChannelListModel.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QVector>

// Categories of the channel list written as an M3U8 playlist (writeM3u), off
// the GUI thread: each channel with its category as group-title and, where it
// has them, its logo, user agent and referrer. Importing the file into an
// empty list gives back the same categories, names, URLs and order.
class PlaylistExport : public QObject
{
    Q_OBJECT

public:
    struct List
    {
        QString strName;
        QVector<ChannelListModel::Row> vecRows; // shared with the list, not copied
    };

    explicit PlaylistExport(QObject *parent = nullptr);
    // Waits for a write that runs.
    ~PlaylistExport() override;

    void start(const QString &strPath, QVector<List> lists);
    bool isRunning() const { return m_watch.isRunning(); }

    // Writes the file (whole or not at all); the error to tell, or an empty text.
    static QString write(const QString &strPath, const QVector<List> &lists);

signals:
    void finished(const QString &strError);

private:
    QFutureWatcher<QString> m_watch;
};
