#pragma once

#include "PlaylistExport.h"
#include "PlaylistImport.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>

class QMimeData;
class QProgressDialog;
class QWidget;

// What the user goes through to bring a playlist in or to write one out: the
// file dialog or the address dialog (or a drop), the progress with Cancel,
// and one clear message when something fails. The work is PlaylistImport's
// and PlaylistExport's; the channel list gives the categories it holds and
// takes the finished import (imported()).
class PlaylistTransfer : public QObject
{
    Q_OBJECT

public:
    using Targets = QVector<PlaylistImport::Target>;

    // pParent: the channel list, parent of every dialog; targets: its
    // categories at the moment an import starts.
    PlaylistTransfer(QWidget *pParent, std::function<Targets()> targets);
    ~PlaylistTransfer() override;

    // Asks for a file, then imports it.
    void importFromFile();
    // Asks for an http(s) address, then imports from it.
    void importFromAddress();
    // Imports a local file or an http(s) address.
    void importFrom(const QUrl &source);
    bool isImporting() const { return m_import.isRunning(); }

    // What a drop brings to import: its first URL (a file or an address), or
    // text that is an address; an invalid URL when it brings none.
    static QUrl droppedSource(const QMimeData *pData);

    // Asks whether the current category or every category is meant (when
    // there is a choice), then for the file, then writes it.
    void exportLists(const PlaylistExport::List &current, const QVector<PlaylistExport::List> &all);

signals:
    // The finished rows of a successful import, for the list to take.
    void imported(const PlaylistImport::Result &result);

private:
    void startImport(const QUrl &source);
    void onImportFinished(const PlaylistImport::Result &result);
    void showError(const QString &strText);

    QWidget *m_pParent;
    std::function<Targets()> m_targets;
    PlaylistImport m_import;
    PlaylistExport m_export;
    QPointer<QProgressDialog> m_pProgress;
    QString m_strFolder; // where the last file was chosen
};
