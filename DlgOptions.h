#pragma once

#include <QDialog>
#include <QString>

class GuideSourcesEditor;
class QTranslator;

namespace Ui {
class CDlgOptions;
}

// Region table: the row is what the region list keeps as item data, the code
// is what the settings store and the web service see, the name is shown
// (translated in context "region").
int regionCount();
int regionId(int nRow);
QString regionCode(int nRow);
QString regionName(int nRow);
int regionIndexOf(const QString &strCode);

// Language table, in the order the options dialog lists it. The value is a
// QLocale::Language and is what the settings store keeps; the code names the
// translation file; the name is shown (translated in context "language").
int languageCount();
int languageId(int nRow);
QString languageCode(int nValue);
QString languageName(int nValue);

// The translators currently installed in the application, null when none.
extern QTranslator *g_pAppTranslator;
extern QTranslator *g_pQtTranslator;

// Installs the translations for the stored language (m_nLanguage): the
// program's own from ":/l_<code>.qm" and Qt's from ":/res/qt_<code>.qm". When
// the program's file does not load, every installed translator is removed and
// the interface shows its source texts.
void loadTranslations();

// The same for two given files; returns whether the program's file loaded.
bool loadTranslationFiles(const QString &strAppFile, const QString &strQtFile);

class CDlgOptions : public QDialog
{
    Q_OBJECT

public:
    explicit CDlgOptions(QWidget *parent = nullptr);
    ~CDlgOptions() override;

    // Item data of the current entry of each list, 0 when it has none.
    int regionValue() const;
    int languageValue() const;

private slots:
    void on_buttonBox_accepted();

private:
    Ui::CDlgOptions *ui;
    GuideSourcesEditor *m_pGuideSources = nullptr;
};
