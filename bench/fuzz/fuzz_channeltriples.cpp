// Fuzzes the channel lists as the settings store holds them: the "Newly"
// triples, the category names and the map of category name to triples, in
// any shape a damaged or hand-edited settings file can give them. The panel
// is built from them and saves them back; what it saves must be well formed,
// keep every name and URL, and come back unchanged through the panel and
// through the settings file.
//
// Input: byte 0 holds flags, byte 1 the types of the map values (two bits
// each, cycling), the rest is groups split on '\n' and fields split on '|':
//   group 0     the "Newly" triples
//   group 1     the category names (an empty group is no categories)
//   group 2+k   the map value under the k-th category name, or under a name
//               no category uses once the names run out
// Flags: 1 also round-trips through the settings file; 2 makes the first
// channel the playing one; 4 reads fields as UTF-16 (lone surrogates and all)
// instead of UTF-8.
#include "DlgVideoList.h"
#include "Settings.h"
#include "fuzzsetup.h"

#include <QFile>
#include <QSettings>
#include <QTabWidget>
#include <QVariantList>

#include <cstddef>
#include <cstdint>

namespace {

const QString kCategoriesKey = QStringLiteral("m_lstCategoryList");
const QString kMapKey = QStringLiteral("m_mapCategory");
const QString kDefaultKey = QStringLiteral("m_lstDefaultChannels");

struct StoredLists
{
    QStringList lstDefault;
    QStringList lstCategories;
    QVariantMap mapCategory;

    bool operator==(const StoredLists &other) const
    {
        return lstDefault == other.lstDefault && lstCategories == other.lstCategories &&
               mapCategory == other.mapCategory;
    }
    bool operator!=(const StoredLists &other) const { return !(*this == other); }
};

QString textOf(const QByteArray &bytes, bool bUtf16)
{
    if (!bUtf16)
        return QString::fromUtf8(bytes);
    return QString(reinterpret_cast<const QChar *>(bytes.constData()), bytes.size() / 2);
}

QStringList fieldsOf(const QByteArray &group, bool bUtf16)
{
    QStringList lst;
    for (const QByteArray &field : group.split('|'))
        lst << textOf(field, bUtf16);
    return lst;
}

StoredLists parseInput(const QByteArray &input, quint8 nFlags, quint8 nTypes)
{
    const bool bUtf16 = nFlags & 4;
    const QList<QByteArray> lstGroups = input.split('\n');
    StoredLists lists;
    if (!lstGroups.value(0).isEmpty())
        lists.lstDefault = fieldsOf(lstGroups.at(0), bUtf16);
    if (!lstGroups.value(1).isEmpty())
        lists.lstCategories = fieldsOf(lstGroups.at(1), bUtf16);
    for (int k = 2; k < lstGroups.size(); ++k) {
        const int nEntry = k - 2;
        const QString strKey = nEntry < lists.lstCategories.size()
                                   ? lists.lstCategories.at(nEntry)
                                   : QStringLiteral("unnamed %1").arg(nEntry);
        const QStringList lstFields = fieldsOf(lstGroups.at(k), bUtf16);
        switch ((nTypes >> (2 * (nEntry % 4))) & 3) {
        case 0:
            lists.mapCategory.insert(strKey, lstFields);
            break;
        case 1: { // a variant list, numbers as numbers
            QVariantList lstVariants;
            for (const QString &strField : lstFields) {
                bool bOk = false;
                const int n = strField.toInt(&bOk);
                lstVariants << (bOk ? QVariant(n) : QVariant(strField));
            }
            lists.mapCategory.insert(strKey, lstVariants);
            break;
        }
        case 2:
            lists.mapCategory.insert(strKey, textOf(lstGroups.at(k), bUtf16));
            break;
        default:
            lists.mapCategory.insert(strKey, lstFields.size());
            break;
        }
    }
    return lists;
}

StoredLists storedLists()
{
    return {g_pSettings->m_lstDefaultChannels, g_pSettings->m_lstCategoryList,
            g_pSettings->m_mapCategory};
}

void setStoredLists(const StoredLists &lists)
{
    g_pSettings->m_lstDefaultChannels = lists.lstDefault;
    g_pSettings->m_lstCategoryList = lists.lstCategories;
    g_pSettings->m_mapCategory = lists.mapCategory;
}

// What the panel must save for stored triples: whole triples, names and URLs
// as they were, a score that is not a number as 0.
QStringList wellFormed(const QStringList &lstTriples)
{
    QStringList lst;
    for (int i = 0; i < lstTriples.size(); i += 3) {
        bool bOk = false;
        const int nScore = lstTriples.value(i + 2).toInt(&bOk, 10);
        lst << lstTriples.at(i) << lstTriples.value(i + 1) << QString::number(bOk ? nScore : 0);
    }
    return lst;
}

StoredLists expectedSave(const StoredLists &input)
{
    StoredLists expected;
    expected.lstDefault = wellFormed(input.lstDefault);
    expected.lstCategories = input.lstCategories;
    for (const QString &strName : input.lstCategories)
        expected.mapCategory.insert(strName,
                                    wellFormed(input.mapCategory.value(strName).toStringList()));
    return expected;
}

QString describe(const StoredLists &lists)
{
    QStringList lst;
    lst << QStringLiteral("default=[%1]").arg(lists.lstDefault.join(QLatin1Char('|')));
    lst << QStringLiteral("categories=[%1]").arg(lists.lstCategories.join(QLatin1Char('|')));
    for (auto it = lists.mapCategory.cbegin(); it != lists.mapCategory.cend(); ++it)
        lst << QStringLiteral("%1=%2[%3]")
                   .arg(it.key(), QString::fromLatin1(it.value().typeName()),
                        it.value().toStringList().join(QLatin1Char('|')));
    return lst.join(QLatin1Char(' '));
}

// Builds the panel from the store, checks its tabs and saves it back.
StoredLists loadAndSave(const StoredLists &input)
{
    setStoredLists(input);
    CDlgVideoList dlg(nullptr);
    const auto *pTabs = dlg.findChild<QTabWidget *>();
    if (!pTabs || pTabs->count() != 1 + input.lstCategories.size())
        fuzzsetup::fail("one tab for Newly and one per category", describe(input));
    for (int i = 0; i < input.lstCategories.size(); ++i) {
        if (pTabs->tabText(i + 1) != input.lstCategories.at(i))
            fuzzsetup::fail("tab named after its category", describe(input));
    }
    dlg.saveChannelLists();
    return storedLists();
}

// The settings file as another run of the program would read it: a copy of
// the file under a name of its own, so nothing comes from this process's
// cache of the file.
void checkFileRoundTrip(const StoredLists &saved)
{
    static int s_nCopy = 0;
    g_pSettings->sync();
    if (g_pSettings->status() != QSettings::NoError)
        fuzzsetup::fail("settings file written");
    const QString strCopy = g_pSettings->fileName() + QStringLiteral(".copy%1").arg(++s_nCopy);
    QFile::remove(strCopy);
    if (!QFile::copy(g_pSettings->fileName(), strCopy))
        fuzzsetup::fail("settings file copied");
    StoredLists read;
    {
        QSettings file(strCopy, QSettings::IniFormat);
        read.lstDefault = file.value(kDefaultKey).toStringList();
        read.lstCategories = file.value(kCategoriesKey).toStringList();
        read.mapCategory = file.value(kMapKey).toMap();
    }
    QFile::remove(strCopy);
    if (read != saved)
        fuzzsetup::fail("lists read back from the settings file as saved",
                        describe(saved) + QStringLiteral(" read: ") + describe(read));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    Q_UNUSED(argc)
    fuzzsetup::init((*argv)[0]);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize)
{
    if (nSize < 2)
        return 0;
    const quint8 nFlags = pData[0];
    const quint8 nTypes = pData[1];
    const QByteArray input(reinterpret_cast<const char *>(pData + 2), int(nSize - 2));
    const StoredLists lists = parseInput(input, nFlags, nTypes);

    g_pSettings->m_strPlayingVideoName =
        (nFlags & 2) && !lists.lstDefault.isEmpty() ? lists.lstDefault.first() : QString();

    const StoredLists saved = loadAndSave(lists);
    if (saved.lstDefault.size() % 3 != 0)
        fuzzsetup::fail("Newly saved as whole triples", describe(saved));
    for (const QString &strName : saved.lstCategories) {
        const QVariant var = saved.mapCategory.value(strName);
        if (var.userType() != QMetaType::QStringList)
            fuzzsetup::fail("every category saved as a string list", describe(saved));
        if (var.toStringList().size() % 3 != 0)
            fuzzsetup::fail("categories saved as whole triples", describe(saved));
    }
    if (saved != expectedSave(lists))
        fuzzsetup::fail("names, URLs and order kept",
                        describe(lists) + QStringLiteral(" saved: ") + describe(saved));

    // What was saved loads and saves as itself.
    const StoredLists again = loadAndSave(saved);
    if (again != saved)
        fuzzsetup::fail("saved lists load as saved",
                        describe(saved) + QStringLiteral(" again: ") + describe(again));

    if (nFlags & 1)
        checkFileRoundTrip(saved);
    return 0;
}
