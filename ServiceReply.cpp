#include "ServiceReply.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSet>
#include <QVariant>
#include <QVector>

#include <climits>
#include <cmath>

namespace {

// A settings reply asks for the channel list once per "list_ver" element it
// carries; a reply naming it more often than this is broken, and the rest of
// its elements would only flood the service with identical requests.
constexpr int kMaxListRequestsPerReply = 16;

// A member read as a string: a number gives its text; anything that has no
// text (missing, null, array, object) gives an empty string.
QString stringOf(const QJsonValue &value)
{
    // QVariant would turn a one-element array into the text of that element.
    if (value.isArray() || value.isObject())
        return QString();
    return value.toVariant().toString();
}

// A member read as an integer: a number or a numeric string gives its value;
// anything else, and any value outside the range of int, gives 0.
int intOf(const QJsonValue &value)
{
    const QVariant var = value.toVariant();
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
bool dataOf(const QJsonObject &object, QJsonArray &data)
{
    const QJsonValue value = object.value(QStringLiteral("data"));
    if (value.isUndefined() || value.isNull()) {
        data = QJsonArray();
        return true;
    }
    if (!value.isArray())
        return false;
    data = value.toArray();
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

ServiceReply ignored(const QString &strWhy)
{
    ServiceReply reply;
    reply.strWhy = strWhy;
    return reply;
}

ServiceReply readVideoList(const QJsonObject &object)
{
    QJsonArray data;
    if (!dataOf(object, data))
        return ignored(QStringLiteral("get_video_list: \"data\" is not an array"));
    ServiceReply reply;
    reply.nChannels = data.size();
    if (data.size() > ServiceReply::kMaxChannels) {
        reply.kind = ServiceReply::Kind::TooManyChannels;
        return reply;
    }
    // Nothing is checked, skipped, merged or reordered, but a list with an
    // element that is not a channel at all is not a channel list.
    QVector<VideoItem> vecChannels;
    vecChannels.reserve(data.size());
    for (const QJsonValue &element : qAsConst(data)) {
        if (!element.isObject())
            return ignored(QStringLiteral("get_video_list: a channel is not an object"));
        const QJsonObject channel = element.toObject();
        VideoItem rec;
        rec.nId = intOf(channel.value(QStringLiteral("id")));
        rec.strName = stringOf(channel.value(QStringLiteral("name")));
        rec.strUrl = stringOf(channel.value(QStringLiteral("url")));
        rec.strRegion = stringOf(channel.value(QStringLiteral("region")));
        rec.nScore = intOf(channel.value(QStringLiteral("score")));
        vecChannels.append(rec);
    }
    data = QJsonArray(); // the document's memory goes before the rows are made
    reply.kind = ServiceReply::Kind::VideoList;
    reply.rows = ChannelListModel::rowsFromRecords(vecChannels);
    return reply;
}

ServiceReply readSettings(const QJsonObject &object)
{
    QJsonArray data;
    if (!dataOf(object, data))
        return ignored(QStringLiteral("get_settings: \"data\" is not an array"));
    ServiceReply reply;
    reply.kind = ServiceReply::Kind::Settings;
    int nListRequests = 0;
    for (const QJsonValue &element : qAsConst(data)) {
        const QJsonObject item = element.toObject();
        if (stringOf(item.value(QStringLiteral("name"))) != QLatin1String("list_ver"))
            continue;
        if (nListRequests == kMaxListRequestsPerReply) {
            reply.strWhy = QStringLiteral("get_settings: too many \"list_ver\" elements, "
                                          "the rest ignored");
            break;
        }
        const QString strVer = stringOf(item.value(QStringLiteral("value"))).trimmed();
        reply.lstListVersions << strVer;
        if (!strVer.isEmpty())
            ++nListRequests;
    }
    return reply;
}

} // namespace

ServiceReply ServiceReply::read(QByteArray body)
{
    const int nNul = body.indexOf('\0');
    if (nNul >= 0)
        body.truncate(nNul);
    QByteArray json = QString::fromUtf8(body).toUtf8();
    body = QByteArray();
    if (hasRepeatedMember(json))
        return ignored(QStringLiteral("reply names a member twice"));

    QJsonParseError error;
    QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        // An empty body is nothing to speak of.
        return ignored(json.isEmpty()
                           ? QString()
                           : QStringLiteral("reply is not a JSON object: ") + error.errorString());
    }
    json = QByteArray();
    const QJsonObject object = doc.object();
    doc = QJsonDocument();

    const QString strAction = stringOf(object.value(QStringLiteral("action")));
    if (strAction == QLatin1String("get_video_list"))
        return readVideoList(object);
    if (strAction == QLatin1String("post_play_info")) {
        ServiceReply reply;
        reply.kind = Kind::PlayInfo;
        return reply;
    }
    if (strAction == QLatin1String("get_settings"))
        return readSettings(object);
    return ignored(QString());
}
