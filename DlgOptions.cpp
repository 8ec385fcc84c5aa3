#include "DlgOptions.h"
#include "ui_DlgOptions.h"

#include "GuideSourcesEditor.h"

#include "Settings.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QIcon>
#include <QLocale>
#include <QTranslator>

QTranslator *g_pAppTranslator = nullptr;
QTranslator *g_pQtTranslator = nullptr;

// The compiled catalogues live in their own resource file inside the static
// core library; naming its initialiser here makes the linker keep it.
static void initTranslationResources()
{
    static const bool bDone = [] {
        Q_INIT_RESOURCE(mirel_translations);
        return true;
    }();
    Q_UNUSED(bDone)
}

namespace {

struct RegionRow
{
    const char *pszCode;
    const char *pszName;
};

const RegionRow kRegions[] = {
    {"all", QT_TRANSLATE_NOOP("region", "All")},
    {"america", QT_TRANSLATE_NOOP("region", "America")},
    {"china", QT_TRANSLATE_NOOP("region", "China")},
    {"england", QT_TRANSLATE_NOOP("region", "England")},
    {"japan", QT_TRANSLATE_NOOP("region", "Japan")},
};
constexpr int kRegionCount = int(sizeof(kRegions) / sizeof(kRegions[0]));

struct LanguageRow
{
    int nValue;
    const char *pszCode;
    const char *pszName;
};

const LanguageRow kLanguages[] = {
    {QLocale::English, "english", QT_TRANSLATE_NOOP("language", "English")},
    {QLocale::Chinese, "zh_CN", QT_TRANSLATE_NOOP("language", "Chinese")},
    {QLocale::Japanese, "ja", QT_TRANSLATE_NOOP("language", "Japanese")},
};
constexpr int kLanguageCount = int(sizeof(kLanguages) / sizeof(kLanguages[0]));

static_assert(QLocale::English == 31 && QLocale::Chinese == 25 && QLocale::Japanese == 59,
              "the settings store keeps these numbers");

// The first tab of the channel list is named in this context as well; no code
// asks for it here, but the catalogues carry it.
[[maybe_unused]] const char *const kNewlyCategory = QT_TRANSLATE_NOOP("category", "Newly");

const LanguageRow *findLanguage(int nValue)
{
    for (const LanguageRow &row : kLanguages) {
        if (row.nValue == nValue)
            return &row;
    }
    return nullptr;
}

void removeInstalledTranslators()
{
    if (g_pAppTranslator) {
        QCoreApplication::removeTranslator(g_pAppTranslator);
        delete g_pAppTranslator;
        g_pAppTranslator = nullptr;
    }
    if (g_pQtTranslator) {
        QCoreApplication::removeTranslator(g_pQtTranslator);
        delete g_pQtTranslator;
        g_pQtTranslator = nullptr;
    }
}

} // namespace

int regionCount()
{
    return kRegionCount;
}

int regionId(int nRow)
{
    return nRow >= 0 && nRow < kRegionCount ? nRow : 0;
}

QString regionCode(int nRow)
{
    if (nRow < 0 || nRow >= kRegionCount)
        return QString();
    return QString::fromLatin1(kRegions[nRow].pszCode);
}

QString regionName(int nRow)
{
    if (nRow < 0 || nRow >= kRegionCount)
        return QString();
    return QCoreApplication::translate("region", kRegions[nRow].pszName);
}

int regionIndexOf(const QString &strCode)
{
    for (int nRow = 0; nRow < kRegionCount; ++nRow) {
        if (strCode == QLatin1String(kRegions[nRow].pszCode))
            return nRow;
    }
    return 0;
}

int languageCount()
{
    return kLanguageCount;
}

int languageId(int nRow)
{
    if (nRow == 1 || nRow == 2)
        return kLanguages[nRow].nValue;
    return QLocale::English;
}

QString languageCode(int nValue)
{
    const LanguageRow *pRow = findLanguage(nValue);
    return QString::fromLatin1(pRow ? pRow->pszCode : kLanguages[0].pszCode);
}

QString languageName(int nValue)
{
    const LanguageRow *pRow = findLanguage(nValue);
    return pRow ? QCoreApplication::translate("language", pRow->pszName) : QString();
}

bool loadTranslationFiles(const QString &strAppFile, const QString &strQtFile)
{
    auto *pAppTranslator = new QTranslator;
    auto *pQtTranslator = new QTranslator;

    // A catalogue without a single message is as good as none: taking it would
    // leave the program's texts in English beside Qt's translated ones.
    if (!pAppTranslator->load(strAppFile, QString(), QString(), QString()) ||
        pAppTranslator->isEmpty()) {
        // Nothing to translate into (English, or a file that is missing,
        // damaged or empty): back to the source texts.
        if (QFile::exists(strAppFile))
            qDebug() << "cannot use" << strAppFile << "- using the source texts";
        delete pAppTranslator;
        delete pQtTranslator;
        removeInstalledTranslators();
        return false;
    }

    removeInstalledTranslators();
    QCoreApplication::installTranslator(pAppTranslator);
    g_pAppTranslator = pAppTranslator;

    if (pQtTranslator->load(strQtFile, QString(), QString(), QString())) {
        QCoreApplication::installTranslator(pQtTranslator);
        g_pQtTranslator = pQtTranslator;
    } else {
        delete pQtTranslator;
    }
    return true;
}

void loadTranslations()
{
    initTranslationResources();

    int nLanguage = QLocale::English;
    if (g_pSettings)
        nLanguage = g_pSettings->m_nLanguage;
    else
        qDebug() << "no settings store, using the source texts";
    if (!findLanguage(nLanguage))
        qDebug() << "stored language" << nLanguage << "is not offered, using the source texts";

    const QString strCode = languageCode(nLanguage);
    loadTranslationFiles(QStringLiteral(":/l_%1.qm").arg(strCode),
                         QStringLiteral(":/res/qt_%1.qm").arg(strCode));
}

CDlgOptions::CDlgOptions(QWidget *parent) : QDialog(parent), ui(new Ui::CDlgOptions)
{
    ui->setupUi(this);
    // Below the auto-play choice, above the stretch.
    m_pGuideSources = new GuideSourcesEditor(this);
    ui->verticalLayout->insertWidget(ui->verticalLayout->indexOf(ui->checkAutoPlayLast) + 1,
                                     m_pGuideSources);

    for (int nRow = 0; nRow < regionCount(); ++nRow)
        ui->comboBoxRegion->addItem(QIcon(), regionName(nRow), regionId(nRow));

    const int nStoredLanguage = g_pSettings ? g_pSettings->m_nLanguage : 0;
    int nLanguageRow = -1;
    for (int nRow = 0; nRow < languageCount(); ++nRow) {
        const int nValue = languageId(nRow);
        ui->comboBoxLanguage->addItem(QIcon(), languageName(nValue), nValue);
        if (nValue == nStoredLanguage && nLanguageRow < 0)
            nLanguageRow = nRow;
    }

    if (!g_pSettings) {
        qDebug() << "no settings store, showing the defaults";
        ui->comboBoxLanguage->setCurrentIndex(-1);
        return;
    }
    ui->comboBoxRegion->setCurrentIndex(regionIndexOf(g_pSettings->m_strRegion));
    ui->comboBoxLanguage->setCurrentIndex(nLanguageRow);
    ui->checkAutoPlayLast->setChecked(g_pSettings->m_bAutoPlayLast);
    m_pGuideSources->setAddresses(g_pSettings->m_lstGuideAddresses);
}

CDlgOptions::~CDlgOptions()
{
    delete ui;
}

int CDlgOptions::regionValue() const
{
    if (ui->comboBoxRegion->currentIndex() < 0)
        return 0;
    return ui->comboBoxRegion->currentData().toInt();
}

int CDlgOptions::languageValue() const
{
    if (ui->comboBoxLanguage->currentIndex() < 0)
        return 0;
    return ui->comboBoxLanguage->currentData().toInt();
}

void CDlgOptions::on_buttonBox_accepted()
{
    if (!g_pSettings) {
        qDebug() << "no settings store, options not stored";
        return;
    }
    g_pSettings->setRegion(regionCode(regionValue()));
    g_pSettings->setLanguage(languageValue());
    g_pSettings->setAutoPlayLast(ui->checkAutoPlayLast->isChecked());
    g_pSettings->setGuideAddresses(m_pGuideSources->addresses());
}
