// The main window's client of the channel service: three fire-and-forget
// requests and the one handler of their replies. Only a 2xx reply is acted
// upon; a failed get_settings is asked again after a growing wait.
#include "DlgControl.h"
#include "DlgVideoList.h"
#include "MainWindow.h"
#include "Settings.h"

#include <QDebug>
#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSet>
#include <QVariantList>
#include <QVariantMap>
#include <QVector>

#include <climits>
#include <cmath>

namespace {

const char kUserAgent[] = "Mozilla/5.0 (Windows; U; Windows NT 5.1; ru; rv:1.9.1.3) "
                          "Gecko/20090824 Firefox/3.5.3 (.NET CLR 3.5.30729)";
const char kAppVer[] = "WIN_1_2";
// No request may hang on a service that accepts and never answers.
constexpr int kTransferTimeoutMs = 10000;

// A reply body larger than this is not a channel list but a broken or hostile
// service: the download is cut off and the reply dropped, so memory stays
// bounded. A list of 100,000 channels with long URLs is well below it.
constexpr qint64 kMaxReplyBytes = 32 * 1024 * 1024;
// Big IPTV lists run to tens of thousands of channels, and 100,000 fill the
// "Newly" tab in well under a second; more than that is not a channel list but
// a broken service, and such a list is dropped as a whole.
constexpr int kMaxNewlyChannels = 100000;
// A settings reply asks for the channel list once per "list_ver" element it
// carries; a reply naming it more often than this is broken, and the rest of
// its elements would only flood the service with identical requests.
constexpr int kMaxListRequestsPerReply = 16;
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

// A member read as a string: a number gives its text; anything that has no
// text (missing, null, array, object) gives an empty string.
QString stringOf(const QVariant &var)
{
    // QVariant would turn a one-element array into the text of that element.
    if (var.userType() == QMetaType::QVariantList || var.userType() == QMetaType::QVariantMap)
        return QString();
    return var.toString();
}

// A member read as an integer: a number or a numeric string gives its value;
// anything else, and any value outside the range of int, gives 0.
int intOf(const QVariant &var)
{
    switch (var.userType()) {
    case QMetaType::Double: {
        const double d = std::round(var.toDouble());
        if (!std::isfinite(d) || d < double(INT_MIN) || d > double(INT_MAX))
            return 0;
        return int(d);
    }
    case QMetaType::LongLong:
    case QMetaType::ULongLong: {
        bool bOk = false;
        const qlonglong n = var.toLongLong(&bOk);
        return bOk && n >= INT_MIN && n <= INT_MAX ? int(n) : 0;
    }
    case QMetaType::QString: {
        bool bOk = false;
        const int n = var.toString().toInt(&bOk);
        return bOk ? n : 0;
    }
    default:
        return var.canConvert<int>() ? var.toInt() : 0;
    }
}

// "data" of a reply: missing or null reads as an empty list; any other type
// than an array means the reply is broken (false).
bool dataOf(const QVariantMap &map, QVariantList &lstData)
{
    const QVariant varData = map.value(QStringLiteral("data"));
    if (!varData.isValid() || varData.isNull()) {
        lstData.clear();
        return true;
    }
    if (varData.userType() != QMetaType::QVariantList)
        return false;
    lstData = varData.toList();
    return true;
}

// The JSON parser's own nesting limit; deeper text is refused by it.
constexpr int kMaxJsonNesting = 1024;

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The text of the JSON string whose opening quote is at nPos, escapes
// decoded; nPos ends past the closing quote (or at the end of unterminated
// text, which the parser refuses anyway).
QString jsonStringAt(const QByteArray &json, int &nPos)
{
    QString str;
    int nRun = ++nPos; // start of the bytes taken as they are
    while (nPos < json.size() && json.at(nPos) != '"') {
        if (json.at(nPos) != '\\') {
            ++nPos;
            continue;
        }
        str += QString::fromUtf8(json.constData() + nRun, nPos - nRun);
        const char cEscape = nPos + 1 < json.size() ? json.at(nPos + 1) : '\0';
        nPos = qMin(nPos + 2, json.size());
        switch (cEscape) {
        case 'b':
            str += QLatin1Char('\b');
            break;
        case 'f':
            str += QLatin1Char('\f');
            break;
        case 'n':
            str += QLatin1Char('\n');
            break;
        case 'r':
            str += QLatin1Char('\r');
            break;
        case 't':
            str += QLatin1Char('\t');
            break;
        case 'u': {
            ushort nCode = 0;
            for (int i = 0; i < 4 && nPos < json.size() && hexDigit(json.at(nPos)) >= 0; ++i)
                nCode = ushort(nCode * 16 + hexDigit(json.at(nPos++)));
            str += QChar(nCode);
            break;
        }
        default: // '"', '\\', '/' stand for themselves
            str += QLatin1Char(cEscape);
            break;
        }
        nRun = nPos;
    }
    str += QString::fromUtf8(json.constData() + nRun, nPos - nRun);
    ++nPos;
    return str;
}

// True when an object of the JSON text names one member twice. Qt's parser
// keeps the last value of a repeated member but never frees an array or
// object it replaces, so every such reply would cost memory for good; and a
// service that repeats members is broken anyway, whichever value it meant.
bool hasRepeatedMember(const QByteArray &json)
{
    struct Level
    {
        bool bObject = false;
        bool bExpectName = false;
        QSet<QString> setNames;
    };
    QVector<Level> lstLevels;
    for (int nPos = 0; nPos < json.size();) {
        const char c = json.at(nPos);
        switch (c) {
        case '{':
        case '[':
            if (lstLevels.size() == kMaxJsonNesting)
                return false; // the parser stops here, before any member deeper down
            lstLevels.append(Level{c == '{', c == '{', {}});
            ++nPos;
            break;
        case '}':
        case ']':
            if (lstLevels.isEmpty())
                return false; // not JSON: the parser stops here
            lstLevels.removeLast();
            ++nPos;
            break;
        case ',':
        case ':':
            if (!lstLevels.isEmpty() && lstLevels.last().bObject)
                lstLevels.last().bExpectName = c == ',';
            ++nPos;
            break;
        case '"': {
            const QString strText = jsonStringAt(json, nPos);
            if (lstLevels.isEmpty() || !lstLevels.last().bExpectName)
                break;
            Level &level = lstLevels.last();
            level.bExpectName = false;
            if (level.setNames.contains(strText))
                return true;
            level.setNames.insert(strText);
            break;
        }
        default:
            ++nPos;
            break;
        }
    }
    return false;
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
    if (pReply->property(kTooLargeProperty).toBool())
        return;
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
    const int nNul = body.indexOf('\0');
    if (nNul >= 0)
        body.truncate(nNul);
    const QByteArray json = QString::fromUtf8(body).toUtf8();
    if (hasRepeatedMember(json)) {
        qDebug() << "reply names a member twice, ignored:" << strPath;
        return;
    }

    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        if (!json.isEmpty())
            qDebug() << "reply is not a JSON object, ignored:" << strPath << error.errorString();
        return;
    }

    const QVariantMap map = doc.object().toVariantMap();
    const QString strAction = stringOf(map.value(QStringLiteral("action")));

    if (strAction == QLatin1String("get_video_list")) {
        QVariantList lstData;
        if (!dataOf(map, lstData)) {
            qDebug() << "get_video_list: \"data\" is not an array, ignored";
            return;
        }
        if (lstData.size() > kMaxNewlyChannels) {
            qDebug() << "get_video_list: too many channels, ignored:" << lstData.size();
            return;
        }
        for (const QVariant &varItem : qAsConst(lstData)) {
            if (varItem.userType() != QMetaType::QVariantMap) {
                qDebug() << "get_video_list: a channel is not an object, ignored";
                return;
            }
        }

        QVector<VideoItem> vecChannels;
        vecChannels.reserve(lstData.size());
        for (const QVariant &varItem : qAsConst(lstData)) {
            const QVariantMap item = varItem.toMap();
            VideoItem rec;
            rec.nId = intOf(item.value(QStringLiteral("id")));
            rec.strName = stringOf(item.value(QStringLiteral("name")));
            rec.strUrl = stringOf(item.value(QStringLiteral("url")));
            rec.strRegion = stringOf(item.value(QStringLiteral("region")));
            rec.nScore = intOf(item.value(QStringLiteral("score")));
            vecChannels.append(rec);
        }
        updateNewlyChannels(vecChannels);
        if (g_pSettings)
            g_pSettings->setChannelListVer(m_strListVer);
    } else if (strAction == QLatin1String("post_play_info")) {
        // The service's acknowledgement of a play report: nothing to do.
    } else if (strAction == QLatin1String("get_settings")) {
        QVariantList lstData;
        if (!dataOf(map, lstData)) {
            qDebug() << "get_settings: \"data\" is not an array, ignored";
            return;
        }
        int nListRequests = 0;
        for (const QVariant &varItem : qAsConst(lstData)) {
            const QVariantMap item = varItem.toMap();
            if (stringOf(item.value(QStringLiteral("name"))) != QLatin1String("list_ver"))
                continue;
            if (nListRequests == kMaxListRequestsPerReply) {
                qDebug() << "get_settings: too many \"list_ver\" elements, the rest ignored";
                break;
            }
            m_strListVer = stringOf(item.value(QStringLiteral("value"))).trimmed();
            if (!m_strListVer.isEmpty()) {
                ++nListRequests;
                getVideoListFromWeb();
                emit getListVer(m_strListVer);
            }
        }
    }
}

void MainWindow::updateNewlyChannels(const QVector<VideoItem> &vecChannels)
{
    if (!m_pDlgVideoList)
        return;
    m_pDlgVideoList->setNewlyChannels(vecChannels);
    if (m_pDlgControl)
        m_pDlgControl->setPrevNextEnabled(m_pDlgVideoList->hasNextChannel(),
                                          m_pDlgVideoList->hasPreviousChannel());
}
