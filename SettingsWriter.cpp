#include "SettingsWriter.h"

#include "BackgroundWork.h"

namespace {

QSettings::Status writeInBackground(const QString &strPath)
{
    // Opening the file writes the changes noted by the store's own object:
    // both share one in-memory copy of the file.
    QSettings settings(strPath, QSettings::IniFormat);
    settings.sync();
    return settings.status();
}

} // namespace

SettingsWriter::SettingsWriter(const QString &strPath, std::function<void()> apply,
                               std::function<void()> syncNow, QObject *parent)
    : QObject(parent), m_strPath(strPath), m_apply(std::move(apply)), m_syncNow(std::move(syncNow))
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &SettingsWriter::startWrite);
    connect(&m_watchWrite, &QFutureWatcher<QSettings::Status>::finished, this,
            &SettingsWriter::onWriteFinished);
}

SettingsWriter::~SettingsWriter()
{
    m_watchWrite.waitForFinished();
}

void SettingsWriter::changed()
{
    m_bPending = true;
    applyIfFree();
}

void SettingsWriter::setHeld(bool bHeld)
{
    m_bHeld = bHeld;
    applyIfFree();
}

void SettingsWriter::applyIfFree()
{
    if (m_bHeld || isWriting())
        return;
    if (m_bPending) {
        m_apply();
        m_bPending = false;
        m_bUnwritten = true;
    }
    // Started by the first change after a write, not restarted by later
    // ones: changes that never stop still reach the file twice a second.
    if (m_bUnwritten && !m_timer.isActive())
        m_timer.start();
}

void SettingsWriter::startWrite()
{
    if (m_bHeld || isWriting() || !m_bUnwritten)
        return;
    m_bUnwritten = false;
    m_watchWrite.setFuture(BackgroundWork::run(writeInBackground, m_strPath));
}

void SettingsWriter::onWriteFinished()
{
    const QSettings::Status status = m_watchWrite.result();
    emit written(status);
    applyIfFree();
}

void SettingsWriter::flush()
{
    m_timer.stop();
    m_watchWrite.waitForFinished();
    if (m_bPending) {
        m_apply();
        m_bPending = false;
    }
    m_bUnwritten = false;
    m_syncNow();
}
