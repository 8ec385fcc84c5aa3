// Fuzzes the handling of the channel service's reply bodies: whatever the
// body, the main window must neither crash nor leak, the "Newly" tab and the
// stored channels must stay in step, and a well-formed channel list must
// arrive whole and in order.
#include "ChannelListModel.h"
#include "DlgVideoList.h"
#include "MainWindow.h"
#include "ServiceReplyReader.h"
#include "Settings.h"
#include "fuzzsetup.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTabWidget>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// The window's private side, for this target only.
struct FuzzAccess
{
    static void handle(MainWindow *pWindow, const QByteArray &body)
    {
        pWindow->handleServiceReply(body, QStringLiteral("/remote/fuzz"));
        // A big body is read on a worker thread; its reply comes back queued.
        while (pWindow->m_pReplyReader && !pWindow->m_pReplyReader->isIdle())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    static QString listVer(const MainWindow *pWindow) { return pWindow->m_strListVer; }
    static CDlgVideoList *channelList(const MainWindow *pWindow)
    {
        return pWindow->m_pDlgVideoList;
    }
    static int liveReplies(const MainWindow *pWindow)
    {
        return pWindow->m_pNetworkManager
                   ? pWindow->m_pNetworkManager->findChildren<QNetworkReply *>().size()
                   : 0;
    }
};

namespace {

MainWindow *g_pWindow = nullptr;

QStringList newlyTriples()
{
    QStringList lst;
    const ChannelListModel *pChannels = FuzzAccess::channelList(g_pWindow)->channelModel(0);
    for (int i = 0; pChannels && i < pChannels->count(); ++i) {
        const VideoItem &rec = pChannels->record(i);
        lst << rec.strName << rec.strUrl << QString::number(rec.nScore);
    }
    return lst;
}

// The names a channel list reply must put into the "Newly" tab, in order, or
// false when the body is not such a reply and must change nothing. Only
// string names are compared; other members may convert.
bool expectedNames(const QByteArray &body, QList<QVariant> &lstNames)
{
    QByteArray text = body;
    const int nNul = text.indexOf('\0');
    if (nNul >= 0)
        text.truncate(nNul);
    const QJsonDocument doc = QJsonDocument::fromJson(QString::fromUtf8(text).toUtf8());
    if (!doc.isObject() || doc.object().value(QStringLiteral("action")) !=
                               QJsonValue(QStringLiteral("get_video_list")))
        return false;
    lstNames.clear();
    const QJsonValue data = doc.object().value(QStringLiteral("data"));
    if (data.isUndefined() || data.isNull())
        return true; // no channels: the list is emptied
    if (!data.isArray())
        return false;
    for (const QJsonValue &item : data.toArray()) {
        if (!item.isObject())
            return false;
        const QJsonValue name = item.toObject().value(QStringLiteral("name"));
        lstNames << (name.isString() ? QVariant(name.toString()) : QVariant());
    }
    return true;
}

// The requests a settings reply sends go to a closed port and fail at once;
// their replies are handled (and freed) now and then, so they neither pile
// up nor cost much time.
void drainReplies(int nRun)
{
    if (nRun % 64 != 0 && FuzzAccess::liveReplies(g_pWindow) < 128)
        return;
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    } while (FuzzAccess::liveReplies(g_pWindow) >= 64 && timer.elapsed() < 5000);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    Q_UNUSED(argc)
    fuzzsetup::init((*argv)[0]);
    g_pSettings->setAutoPlayLast(false);
    g_pSettings->setDefaultChannels({});
    MainWindow::setServiceUrl(QUrl(QStringLiteral("http://127.0.0.1:9")));
    g_pWindow = new MainWindow;
    // Before the exit handlers take Qt's globals down: the network thread
    // would otherwise still be connecting and crash on them.
    std::atexit([] {
        delete g_pWindow;
        g_pWindow = nullptr;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize)
{
    static int s_nRun = 0;
    const QByteArray body(reinterpret_cast<const char *>(pData), int(nSize));
    const QStringList lstBefore = newlyTriples();

    fuzzsetup::messages().clear();
    FuzzAccess::handle(g_pWindow, body);
    // The parser loses memory on such bodies; the window refuses them
    // unparsed, and so does this check.
    const bool bRefused =
        !fuzzsetup::messages().filter(QStringLiteral("names a member twice")).isEmpty();

    const QString strVer = FuzzAccess::listVer(g_pWindow);
    if (strVer != strVer.trimmed())
        fuzzsetup::fail("list version trimmed", strVer);
    const QStringList lstAfter = newlyTriples();
    if (lstAfter != g_pSettings->m_lstDefaultChannels)
        fuzzsetup::fail("stored channels are the Newly tab");

    QList<QVariant> lstNames;
    if (!bRefused && expectedNames(body, lstNames)) {
        if (lstAfter.size() != 3 * lstNames.size())
            fuzzsetup::fail("a channel list arrives whole", QString::number(lstAfter.size() / 3) +
                                                                QLatin1Char('/') +
                                                                QString::number(lstNames.size()));
        for (int i = 0; i < lstNames.size(); ++i) {
            if (lstNames.at(i).isValid() && lstAfter.at(3 * i) != lstNames.at(i).toString())
                fuzzsetup::fail("channels in reply order", lstAfter.at(3 * i));
        }
    } else if (lstAfter != lstBefore) {
        fuzzsetup::fail("only a well-formed channel list reply changes the Newly tab");
    }

    drainReplies(++s_nRun);
    return 0;
}
