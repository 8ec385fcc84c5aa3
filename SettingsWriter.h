#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QSettings>
#include <QTimer>

#include <functional>

// Gets the changes of the settings store to its file without stalling the GUI
// thread: at most one write per 500 ms of changes, each on a worker thread,
// and a last one when asked (at exit). A big channel list makes the file tens
// of megabytes, and a volume notch must not rewrite that on the GUI thread.
//
// The store's values reach its QSettings object through `apply` (setValue of
// every key, cheap: it only notes them in memory). The worker writes them
// through a QSettings object of its own on the same file, which shares the
// noted changes; while it writes, that shared state is locked, so nothing is
// applied on the GUI thread until it is done.
class SettingsWriter : public QObject
{
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 500;

    // syncNow writes what has been applied, on the calling thread.
    SettingsWriter(const QString &strPath, std::function<void()> apply,
                   std::function<void()> syncNow, QObject *parent = nullptr);
    ~SettingsWriter() override;

    // The values changed: apply them now (or once the running write is done)
    // and write them within kIntervalMs.
    void changed();
    // While held (the store is still being read), changes only pile up.
    void setHeld(bool bHeld);
    // Waits for a running write, applies what is pending and writes it on
    // the calling thread.
    void flush();
    bool isWriting() const { return m_watchWrite.isRunning(); }

signals:
    // A write ended; status as QSettings reports it.
    void written(QSettings::Status status);

private:
    void applyIfFree();
    void startWrite();
    void onWriteFinished();

    QString m_strPath;
    std::function<void()> m_apply;
    std::function<void()> m_syncNow;
    QTimer m_timer;
    QFutureWatcher<QSettings::Status> m_watchWrite;
    bool m_bHeld = false;
    bool m_bPending = false;   // changed values not yet applied
    bool m_bUnwritten = false; // applied values not yet written
};
