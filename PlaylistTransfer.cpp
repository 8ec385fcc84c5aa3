#include "PlaylistTransfer.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>

PlaylistTransfer::PlaylistTransfer(QWidget *pParent, std::function<Targets()> targets)
    : QObject(pParent), m_pParent(pParent), m_targets(std::move(targets)),
      m_strFolder(QDir::homePath())
{
    connect(&m_import, &PlaylistImport::finished, this, &PlaylistTransfer::onImportFinished);
    connect(&m_export, &PlaylistExport::finished, this, [this](const QString &strError) {
        if (!strError.isEmpty())
            showError(strError);
    });
}

PlaylistTransfer::~PlaylistTransfer()
{
    m_import.cancel();
    delete m_pProgress;
}

void PlaylistTransfer::importFromFile()
{
    const QString strPath =
        QFileDialog::getOpenFileName(m_pParent, tr("Import Channel List"), m_strFolder,
                                     tr("M3U playlists (*.m3u *.m3u8);;All files (*)"));
    if (strPath.isEmpty())
        return;
    m_strFolder = QFileInfo(strPath).path();
    startImport(QUrl::fromLocalFile(strPath));
}

void PlaylistTransfer::importFromAddress()
{
    bool bOk = false;
    const QString strText = QInputDialog::getText(m_pParent, tr("Import from Address"),
                                                  tr("Address of an M3U playlist (http or https):"),
                                                  QLineEdit::Normal, QString(), &bOk)
                                .trimmed();
    if (!bOk || strText.isEmpty())
        return;
    const QUrl url = QUrl::fromUserInput(strText);
    if (url.isLocalFile() || !url.isValid()) {
        showError(PlaylistImport::tr("Only http and https addresses can be imported."));
        return;
    }
    startImport(url);
}

void PlaylistTransfer::importFrom(const QUrl &source)
{
    startImport(source);
}

QUrl PlaylistTransfer::droppedSource(const QMimeData *pData)
{
    if (!pData)
        return QUrl();
    QUrl url;
    if (pData->hasUrls() && !pData->urls().isEmpty())
        url = pData->urls().constFirst();
    else if (pData->hasText())
        url = QUrl(pData->text().trimmed(), QUrl::StrictMode);
    const QString strScheme = url.scheme().toLower();
    if (url.isLocalFile() || strScheme == QLatin1String("http") ||
        strScheme == QLatin1String("https"))
        return url;
    return QUrl();
}

void PlaylistTransfer::startImport(const QUrl &source)
{
    if (m_import.isRunning()) {
        qDebug() << "an import runs already; not importing" << source;
        return;
    }
    // The list is left as it is while the import runs; Cancel keeps it so.
    delete m_pProgress;
    m_pProgress = new QProgressDialog(tr("Importing channels..."), tr("Cancel"), 0, 100, m_pParent);
    m_pProgress->setWindowTitle(tr("Import Channel List"));
    m_pProgress->setWindowModality(Qt::WindowModal);
    m_pProgress->setAutoClose(false);
    m_pProgress->setAutoReset(false);
    m_pProgress->setMinimumDuration(300);
    m_pProgress->setValue(0);
    connect(&m_import, &PlaylistImport::progress, m_pProgress, &QProgressDialog::setValue);
    // Its button and closing it cancel; so does Escape, which only rejects it.
    const auto cancel = [this] {
        qDebug() << "import cancelled";
        m_import.cancel();
        m_pProgress->disconnect(this);
        m_pProgress->hide();
        m_pProgress->deleteLater();
    };
    connect(m_pProgress, &QProgressDialog::canceled, this, cancel);
    connect(m_pProgress, &QDialog::rejected, this, cancel);

    if (source.isLocalFile())
        m_import.importFile(source.toLocalFile(), m_targets());
    else
        m_import.importUrl(source, m_targets());
}

void PlaylistTransfer::onImportFinished(const PlaylistImport::Result &result)
{
    if (m_pProgress) {
        m_pProgress->disconnect(this);
        m_pProgress->hide();
        m_pProgress->deleteLater();
        m_pProgress = nullptr;
    }
    if (!result.strError.isEmpty()) {
        showError(result.strError);
        return;
    }
    emit imported(result);
}

void PlaylistTransfer::showError(const QString &strText)
{
    // File names and addresses are shown as they are, never as markup.
    QMessageBox box(QMessageBox::Warning, tr("Error"), strText, QMessageBox::Ok, m_pParent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void PlaylistTransfer::exportLists(const PlaylistExport::List &current,
                                   const QVector<PlaylistExport::List> &all)
{
    QVector<PlaylistExport::List> lists{current};
    QString strSuggested = current.strName;
    // A choice only when there is one.
    if (all.size() > 1 || (all.size() == 1 && all.constFirst().strName != current.strName)) {
        QMessageBox box(QMessageBox::Question, tr("Export Channel List"),
                        tr("Export the current category or every category?"), QMessageBox::Cancel,
                        m_pParent);
        QPushButton *pCurrent = box.addButton(tr("Current Category"), QMessageBox::AcceptRole);
        QPushButton *pAll = box.addButton(tr("All Categories"), QMessageBox::AcceptRole);
        box.setDefaultButton(pCurrent);
        box.exec();
        if (box.clickedButton() == pAll) {
            lists = all;
            strSuggested = tr("Channels");
        } else if (box.clickedButton() != pCurrent) {
            return;
        }
    }
    QString strPath = QFileDialog::getSaveFileName(
        m_pParent, tr("Export Channel List"),
        QDir(m_strFolder).filePath(strSuggested + QStringLiteral(".m3u8")),
        tr("M3U8 playlists (*.m3u8);;M3U playlists (*.m3u)"));
    if (strPath.isEmpty())
        return;
    if (QFileInfo(strPath).suffix().isEmpty())
        strPath += QStringLiteral(".m3u8");
    m_strFolder = QFileInfo(strPath).path();
    m_export.start(strPath, lists);
}
