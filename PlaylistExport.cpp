#include "PlaylistExport.h"

#include "BackgroundWork.h"
#include "M3uWriter.h"

#include <QDebug>
#include <QDir>
#include <QSaveFile>

PlaylistExport::PlaylistExport(QObject *parent) : QObject(parent)
{
    connect(&m_watch, &QFutureWatcher<QString>::finished, this,
            [this] { emit finished(m_watch.result()); });
}

PlaylistExport::~PlaylistExport()
{
    m_watch.waitForFinished();
}

void PlaylistExport::start(const QString &strPath, QVector<List> lists)
{
    m_watch.waitForFinished();
    m_watch.setFuture(BackgroundWork::run(&PlaylistExport::write, strPath, std::move(lists)));
}

QString PlaylistExport::write(const QString &strPath, const QVector<List> &lists)
{
    QVector<M3uChannel> channels;
    for (const List &list : lists) {
        for (const ChannelListModel::Row &row : list.vecRows) {
            M3uChannel channel;
            channel.strName = row.rec.strName;
            channel.strUrl = row.rec.strUrl;
            channel.strGroup = list.strName;
            channel.strLogo = row.rec.strLogo;
            channel.strTvgId = row.rec.strTvgId;
            channel.strUserAgent = row.rec.options.strUserAgent;
            channel.strReferrer = row.rec.options.strReferrer;
            channels.append(channel);
        }
    }
    int nSkipped = 0;
    const QByteArray data = writeM3u(channels, &nSkipped);
    if (nSkipped)
        qDebug() << nSkipped << "channels without a URL a playlist can hold were not exported";

    // Whole or not at all: an old file of that name stays as it was on failure.
    QSaveFile file(strPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        return tr("The file \"%1\" cannot be written: %2")
            .arg(QDir::toNativeSeparators(strPath), file.errorString());
    qDebug() << "exported" << channels.size() - nSkipped << "channels to" << strPath;
    return QString();
}
