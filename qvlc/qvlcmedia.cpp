#include "qvlcmedia.h"
#include "qvlcinstance.h"
#include "qvlcmutexlocker.h"

#include <QDebug>
#include <QDir>

#include <vlc/vlc.h>

QVlcMedia::QVlcMedia(const QUrl &url, QVlcInstance *instance, QObject *parent)
    : QObject(parent), m_url(url)
{
    create(instance, url.toString().toUtf8(), true);
}

QVlcMedia::QVlcMedia(const QString &path, QVlcInstance *instance, QObject *parent)
    : QObject(parent), m_path(path)
{
    create(instance, QDir::toNativeSeparators(path).toUtf8(), false);
}

void QVlcMedia::create(QVlcInstance *instance, const QByteArray &text, bool bLocation)
{
    // libVLC dereferences a null instance when it makes a media, so an invalid
    // instance counts as a failed creation here. So does an empty location:
    // libVLC accepts it, then tries every access module on it (a network
    // protocol among them) and crashed when such a media was taken off the
    // player.
    if (instance && instance->core() && !text.isEmpty()) {
        if (bLocation)
            m_vlcMedia = libvlc_media_new_location(instance->core(), text.constData());
        else
            m_vlcMedia = libvlc_media_new_path(instance->core(), text.constData());
    }
    if (!m_vlcMedia) {
        qDebug() << "Cannot create libVLC media object.";
        qDebug() << QVlcInstance::errmsg();
    }
}

QVlcMedia::~QVlcMedia()
{
    // libVLC may hold the media longer than this object lives: stop its events
    // from reaching a deleted object.
    if (m_bEventsAttached) {
        libvlc_event_manager_t *manager = libvlc_media_event_manager(m_vlcMedia);
        for (int type = libvlc_MediaMetaChanged; type <= libvlc_MediaSubItemTreeAdded; ++type)
            libvlc_event_detach(manager, type, vlcEventCallback, this);
    }
    if (m_vlcMedia)
        libvlc_media_release(m_vlcMedia);
}

bool QVlcMedia::addOption(const QString &strOption)
{
    if (!m_vlcMedia)
        return false;
    // libVLC reads ":name=value" as one option, the value running to the end.
    libvlc_media_add_option(m_vlcMedia, (QLatin1Char(':') + strOption).toUtf8().constData());
    m_lstOptions << strOption;
    return true;
}

qint64 QVlcMedia::duration() const
{
    if (!m_vlcMedia)
        return -1;
    return libvlc_media_get_duration(m_vlcMedia);
}

QVlcMedia::Stats QVlcMedia::stats() const
{
    Stats stats;
    libvlc_media_stats_t vlcStats;
    if (m_vlcMedia && libvlc_media_get_stats(m_vlcMedia, &vlcStats)) {
        stats.nDisplayedPictures = vlcStats.i_displayed_pictures;
        stats.nDecodedAudio = vlcStats.i_decoded_audio;
    }
    return stats;
}

bool QVlcMedia::isParsed() const
{
    if (!m_vlcMedia)
        return false;
    // Any final parse status (done, failed, skipped, timed out) means parsed,
    // as the older libvlc_media_is_parsed() reported it.
    return libvlc_media_get_parsed_status(m_vlcMedia) != 0;
}

void QVlcMedia::parse()
{
    if (!m_vlcMedia)
        return;
        // Only the old call parses synchronously; its asynchronous replacement
        // would need an event loop or a wait on the parsed event.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    libvlc_media_parse(m_vlcMedia);
#pragma GCC diagnostic pop
}

void QVlcMedia::attachEvents()
{
    if (!m_vlcMedia)
        return;
    if (m_bEventsAttached)
        return;
    m_bEventsAttached = true;
    libvlc_event_manager_t *manager = libvlc_media_event_manager(m_vlcMedia);
    // libvlc_MediaMetaChanged (0) up to libvlc_MediaSubItemTreeAdded (6).
    for (int type = libvlc_MediaMetaChanged; type <= libvlc_MediaSubItemTreeAdded; ++type)
        libvlc_event_attach(manager, type, vlcEventCallback, this);
}

void QVlcMedia::vlcEventCallback(const libvlc_event_t *event, void *data)
{
    auto *media = static_cast<QVlcMedia *>(data);
    QVlcMutexLocker locker(&media->m_mutex);
    qDebug() << "vlcEventCallback: " << QString::fromLatin1(libvlc_event_type_name(event->type));
    if (event->type >= libvlc_MediaSubItemAdded && event->type <= libvlc_MediaSubItemTreeAdded) {
        media->m_nState = event->type - libvlc_MediaSubItemAdded;
        emit media->stateChanged(media->m_nState);
    }
}
