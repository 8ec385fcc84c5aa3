#include "qvlcinstance.h"

#include <QByteArray>
#include <QDebug>
#include <QVarLengthArray>
#include <QVector>

#include <vlc/vlc.h>

QVlcInstance::QVlcInstance(const QStringList &args, QObject *parent) : QObject(parent)
{
    // The byte arrays own the text the argument vector points into; they stay
    // alive until libvlc_new() has returned.
    QVector<QByteArray> utf8Args;
    utf8Args.reserve(args.size());
    for (const QString &arg : args)
        utf8Args.append(arg.toUtf8());

    QVarLengthArray<const char *, 256> argv;
    for (const QByteArray &arg : utf8Args)
        argv.append(arg.constData());

    m_vlcInstance = libvlc_new(argv.size(), argv.constData());
    if (!m_vlcInstance) {
        qDebug() << "Cannot initialize libVLC instance.";
        qDebug() << errmsg();
    }
}

QVlcInstance::~QVlcInstance()
{
    if (m_vlcInstance)
        libvlc_release(m_vlcInstance);
}

QString QVlcInstance::errmsg()
{
    const char *msg = libvlc_errmsg();
    return msg ? QString::fromUtf8(msg) : QString();
}

void QVlcInstance::clearerr()
{
    libvlc_clearerr();
}

QString QVlcInstance::version()
{
    const char *text = libvlc_get_version();
    return text ? QString::fromLatin1(text) : QString();
}

QString QVlcInstance::changeset()
{
    const char *text = libvlc_get_changeset();
    return text ? QString::fromLatin1(text) : QString();
}

QString QVlcInstance::compiler()
{
    const char *text = libvlc_get_compiler();
    return text ? QString::fromLatin1(text) : QString();
}
