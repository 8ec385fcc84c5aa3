// The main window's client of the channel service: three fire-and-forget
// requests and the one handler of their replies. Only a 2xx reply is acted
// upon; a failed get_settings is asked again after a growing wait.
#include "DlgControl.h"
#include "DlgVideoList.h"
#include "MainWindow.h"
#include "ServiceReplyReader.h"
#include "Settings.h"

#include <QDebug>
#include <QHttpMultiPart>
#include <QLocale>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

const char kUserAgent[] = "Mozilla/5.0 (Windows; U; Windows NT 5.1; ru; rv:1.9.1.3) "
                          "Gecko/20090824 Firefox/3.5.3 (.NET CLR 3.5.30729)";
const char kAppVer[] = "WIN_1_2";
// No request may hang on a service that accepts and never answers.
constexpr int kTransferTimeoutMs = 10000;

// A reply body larger than this is not a channel list but a broken or hostile
// service: the download is cut off and the reply dropped, so memory stays
// bounded. A list of 1,000,000 channels (ServiceReply::kMaxChannels) with
// long URLs is well below it.
constexpr qint64 kMaxReplyBytes = 256 * 1024 * 1024;
// Marks a reply whose download was cut off for its size.
const char kTooLargeProperty[] = "mirelReplyTooLarge";

QUrl &baseUrl()
{
    static QUrl url(QStringLiteral(MIREL_SERVICE_URL));
    return url;
}

QNetworkRequest serviceRequest(const QString &strPath)
{
    QString strBase = baseUrl().toString();
    while (strBase.endsWith(QLatin1Char('/')))
        strBase.chop(1);
    QNetworkRequest request(QUrl(strBase + strPath, QUrl::TolerantMode));
    request.setRawHeader("User-Agent", kUserAgent);
    // Replies come as they are: a compressed body would be inflated by the
    // network stack before its size could be checked (a few kilobytes can
    // inflate to gigabytes).
    request.setRawHeader("Accept-Encoding", "identity");
    request.setTransferTimeout(kTransferTimeoutMs);
    return request;
}

QHttpPart formPart(const char *pszName, const QByteArray &body)
{
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentDispositionHeader,
                   QStringLiteral("form-data; name=\"%1\"").arg(QLatin1String(pszName)));
    part.setBody(body);
    return part;
}

} // namespace

QUrl MainWindow::serviceUrl()
{
    return baseUrl();
}

void MainWindow::setServiceUrl(const QUrl &url)
{
    baseUrl() = url;
}

// Every request goes through here once it has been sent: replies that grow
// beyond reason are cut off, and every reply reaches onNetworkReplyFinish().
static void watchReply(QNetworkReply *pReply, MainWindow *pWindow, void (MainWindow::*pSlot)())
{
    QObject::connect(pReply, &QNetworkReply::downloadProgress, pReply,
                     [pReply](qint64 nReceived, qint64 nTotal) {
                         if (nReceived <= kMaxReplyBytes && nTotal <= kMaxReplyBytes)
                             return;
                         if (pReply->property(kTooLargeProperty).toBool())
                             return;
                         qDebug() << "reply too large, dropped:" << pReply->url().path()
                                  << nReceived << nTotal;
                         pReply->setProperty(kTooLargeProperty, true);
                         pReply->abort();
                     });
    QObject::connect(pReply, &QNetworkReply::finished, pWindow, pSlot);
}

void MainWindow::getSettingsFromWeb()
{
    if (!m_pNetworkManager)
        m_pNetworkManager = new QNetworkAccessManager(this);
    QNetworkReply *pReply =
        m_pNetworkManager->get(serviceRequest(QStringLiteral("/remote/get_settings")));
    watchReply(pReply, this, &MainWindow::onNetworkReplyFinish);
}

void MainWindow::getVideoListFromWeb()
{
    if (!m_pNetworkManager)
        m_pNetworkManager = new QNetworkAccessManager(this);
    QNetworkReply *pReply =
        m_pNetworkManager->get(serviceRequest(QStringLiteral("/remote/get_video_list")));
    watchReply(pReply, this, &MainWindow::onNetworkReplyFinish);
}

void MainWindow::postPlayInfo(const QString &name, const QString &url)
{
    if (!m_pNetworkManager)
        m_pNetworkManager = new QNetworkAccessManager(this);
    QNetworkRequest request = serviceRequest(QStringLiteral("/remote/post_play_info"));

    const QString strRegion = g_pSettings ? g_pSettings->m_strRegion : QString();
    auto *pMultiPart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    pMultiPart->append(formPart("region", strRegion.toUtf8()));
    pMultiPart->append(formPart("video_name", name.toUtf8()));
    pMultiPart->append(formPart("video_url", url.toUtf8()));
    pMultiPart->append(formPart("app_ver", QByteArray(kAppVer)));

    QNetworkReply *pReply = m_pNetworkManager->post(request, pMultiPart);
    // The body must outlive the upload; it goes with the reply.
    pMultiPart->setParent(pReply);
    watchReply(pReply, this, &MainWindow::onNetworkReplyFinish);
}

void MainWindow::onNetworkReplyFinish()
{
    auto *pReply = qobject_cast<QNetworkReply *>(sender());
    if (!pReply)
        return;
    // Handled once, then gone (with the multipart body of a play report):
    // keeping finished replies until the window closes would grow without
    // bound over a long run.
    pReply->deleteLater();
    if (pReply->property(kTooLargeProperty).toBool()) {
        if (pReply->url().path().endsWith(QLatin1String("/get_video_list")))
            showChannelListRefused(
                tr("The channel list from the service is larger than %1 MiB and was not "
                   "taken; the channels shown are kept.")
                    .arg(kMaxReplyBytes >> 20));
        return;
    }
    const QString strPath = pReply->url().path();
    const bool bSettings = strPath == QLatin1String("/remote/get_settings");
    // An error page may well carry a body that parses (a stale list, say):
    // only what the service says it served is taken.
    const int nStatus = pReply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (pReply->error() != QNetworkReply::NoError || nStatus < 200 || nStatus > 299) {
        qDebug() << "service request failed, reply ignored:" << strPath << nStatus
                 << pReply->errorString();
        if (bSettings)
            m_settingsRetry.failed();
        return;
    }
    if (bSettings)
        m_settingsRetry.succeeded();
    handleServiceReply(pReply->readAll(), strPath);
}

void MainWindow::handleServiceReply(QByteArray body, const QString &strPath)
{
    // A big channel list is read off the GUI thread; the replies are acted
    // upon in the order they arrived all the same.
    if (!m_pReplyReader) {
        m_pReplyReader = new ServiceReplyReader(this);
        connect(m_pReplyReader, &ServiceReplyReader::replyRead, this,
                &MainWindow::applyServiceReply);
    }
    m_pReplyReader->read(std::move(body), strPath);
}

void MainWindow::applyServiceReply(const ServiceReply &reply, const QString &strPath)
{
    if (!reply.strWhy.isEmpty())
        qDebug() << reply.strWhy << strPath;

    switch (reply.kind) {
    case ServiceReply::Kind::Ignored:
        return;
    case ServiceReply::Kind::TooManyChannels:
        qDebug() << "get_video_list: too many channels, ignored:" << reply.nChannels;
        showChannelListRefused(tr("The channel list from the service holds %1 channels, more "
                                  "than the %2 that can be taken. It was not taken; the "
                                  "channels shown are kept.")
                                   .arg(QLocale().toString(reply.nChannels),
                                        QLocale().toString(ServiceReply::kMaxChannels)));
        return;
    case ServiceReply::Kind::VideoList:
        updateNewlyChannels(reply.rows);
        if (g_pSettings)
            g_pSettings->setChannelListVer(m_strListVer);
        return;
    case ServiceReply::Kind::PlayInfo:
        // The service's acknowledgement of a play report: nothing to do.
        return;
    case ServiceReply::Kind::Settings:
        for (const QString &strVer : reply.lstListVersions) {
            m_strListVer = strVer;
            if (!m_strListVer.isEmpty()) {
                getVideoListFromWeb();
                emit getListVer(m_strListVer);
            }
        }
        return;
    }
}

void MainWindow::updateNewlyChannels(const ChannelListModel::Rows &rows)
{
    if (!m_pDlgVideoList)
        return;
    m_pDlgVideoList->setNewlyRows(rows);
    if (m_pDlgControl)
        m_pDlgControl->setPrevNextEnabled(m_pDlgVideoList->hasNextChannel(),
                                          m_pDlgVideoList->hasPreviousChannel());
}

// Not a modal box: nothing waits for the user, and a second refusal replaces
// the first one's text instead of stacking boxes.
void MainWindow::showChannelListRefused(const QString &strText)
{
    qDebug() << "channel list refused:" << strText;
    if (!m_pListRefused) {
        m_pListRefused = new QMessageBox(QMessageBox::Warning, tr("Channel list"), QString(),
                                         QMessageBox::Ok, this);
        m_pListRefused->setModal(false);
        m_pListRefused->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_pListRefused->setText(strText);
    m_pListRefused->show();
}
