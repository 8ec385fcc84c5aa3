#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

struct libvlc_instance_t;

// Owns the one libVLC instance every media and player is made from.
class QVlcInstance : public QObject
{
    Q_OBJECT

public:
    explicit QVlcInstance(const QStringList &args, QObject *parent = nullptr);
    ~QVlcInstance() override;

    libvlc_instance_t *core() const { return m_vlcInstance; }
    bool isValid() const { return m_vlcInstance != nullptr; }

    // libVLC's last error on the calling thread; null when there is none.
    static QString errmsg();
    static void clearerr();
    static QString version();
    static QString changeset();
    static QString compiler();

private:
    libvlc_instance_t *m_vlcInstance = nullptr;
};
