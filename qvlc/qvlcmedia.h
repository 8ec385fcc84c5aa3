#pragma once

#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

class QVlcInstance;
struct libvlc_event_t;
struct libvlc_media_t;

// One libVLC media, made from a stream URL or from a local file path.
class QVlcMedia : public QObject
{
    Q_OBJECT

public:
    QVlcMedia(const QUrl &url, QVlcInstance *instance, QObject *parent = nullptr);
    QVlcMedia(const QString &path, QVlcInstance *instance, QObject *parent = nullptr);
    ~QVlcMedia() override;

    libvlc_media_t *core() const { return m_vlcMedia; }
    bool isValid() const { return m_vlcMedia != nullptr; }
    QUrl url() const { return m_url; }
    QString path() const { return m_path; }

    // Adds an option ("name=value", without the leading colon) that libVLC
    // applies to this media alone, e.g. "http-user-agent=..." for a stream that
    // wants a user agent of its own. The caller decides which options are
    // safe: libVLC takes them as trusted. False on an invalid media.
    bool addOption(const QString &strOption);
    QStringList options() const { return m_lstOptions; }

    // Milliseconds; -1 while libVLC cannot tell.
    qint64 duration() const;

    // How much of the media has reached the user so far: pictures shown and
    // blocks of sound decoded. Zero before it plays.
    struct Stats
    {
        qint64 nDisplayedPictures = 0;
        qint64 nDecodedAudio = 0;
    };
    Stats stats() const;
    bool isParsed() const;
    // Synchronous parse by libVLC.
    void parse();
    void attachEvents();

signals:
    void stateChanged(int state);

private:
    static void vlcEventCallback(const libvlc_event_t *event, void *data);
    void create(QVlcInstance *instance, const QByteArray &text, bool bLocation);

    libvlc_media_t *m_vlcMedia = nullptr;
    QString m_path;
    QUrl m_url;
    QStringList m_lstOptions;
    QMutex m_mutex;
    int m_nState = 0;
    bool m_bEventsAttached = false;
};
