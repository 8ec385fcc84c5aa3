#pragma once

// Answers the modal dialogs and message boxes that a command opens, so a test
// can call the command directly and never hang on a box nobody closes.
//
// Usage: queue steps, then call the command that runs exec(). Each step waits
// until the active modal widget is of the expected kind, then acts on it. A
// step's action may itself open a nested modal loop (pressing OK can raise an
// "Error" box), so the next poll is always scheduled before the action runs.

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

class ModalDriver : public QObject
{
public:
    using Action = std::function<void(QWidget *)>;

    // Acts on the next modal widget whose class inherits szClass.
    ModalDriver &on(const char *szClass, Action action)
    {
        m_steps.append({QByteArray(szClass), std::move(action)});
        return *this;
    }

    // Presses the message box's button and records its title and text.
    ModalDriver &answerBox(QMessageBox::StandardButton button)
    {
        return on("QMessageBox", [this, button](QWidget *w) {
            auto *box = static_cast<QMessageBox *>(w);
            boxTitles << box->windowTitle();
            boxTexts << box->text();
            QTest::mouseClick(box->button(button), Qt::LeftButton);
        });
    }

    // Fills line edits of the dialog by object name, then presses a button.
    ModalDriver &fillAndPress(const char *szClass, const QList<QPair<QString, QString>> &fields,
                              QDialogButtonBox::StandardButton button)
    {
        return on(szClass, [fields, button](QWidget *w) {
            for (const auto &field : fields) {
                auto *edit = w->findChild<QLineEdit *>(field.first);
                QVERIFY2(edit, qPrintable(field.first));
                edit->setText(field.second);
            }
            pressButton(w, button);
        });
    }

    static void pressButton(QWidget *dialog, QDialogButtonBox::StandardButton button)
    {
        auto *box = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        QVERIFY(box);
        QTest::mouseClick(box->button(button), Qt::LeftButton);
    }

    void start()
    {
        m_timer.start();
        QTimer::singleShot(0, this, [this] { poll(); });
    }

    bool finished() const { return m_nStep >= m_steps.size(); }
    bool timedOut() const { return m_bTimedOut; }

    QStringList boxTitles;
    QStringList boxTexts;
    QStringList dialogTitles; // window title of every dialog a step acted on

private:
    struct Step
    {
        QByteArray className;
        Action action;
    };

    void poll()
    {
        if (finished())
            return;
        if (m_timer.elapsed() > 5000) {
            // Something unexpected is open (or nothing ever opened): close it
            // so the test fails instead of hanging.
            m_bTimedOut = true;
            if (QWidget *w = QApplication::activeModalWidget()) {
                if (auto *dlg = qobject_cast<QDialog *>(w))
                    dlg->reject();
                QTimer::singleShot(10, this, [this] { poll(); });
            }
            return;
        }
        QWidget *w = QApplication::activeModalWidget();
        QTimer::singleShot(10, this, [this] { poll(); });
        if (!w || !w->isVisible() || !w->inherits(m_steps.at(m_nStep).className.constData()))
            return;
        Action action = m_steps.at(m_nStep).action;
        ++m_nStep;
        dialogTitles << w->windowTitle();
        action(w);
    }

    QList<Step> m_steps;
    int m_nStep = 0;
    QElapsedTimer m_timer;
    bool m_bTimedOut = false;
};

// ---- Shared helpers of the channel list tests --------------------------------

#include "DlgVideoList.h"
#include "Settings.h"

#include <QListWidget>
#include <QTabWidget>

namespace channellist {

inline QTabWidget *tabsOf(CDlgVideoList *dlg)
{
    return dlg->findChild<QTabWidget *>();
}

inline QListWidget *listOf(CDlgVideoList *dlg, int nTab)
{
    return qobject_cast<QListWidget *>(tabsOf(dlg)->widget(nTab));
}

inline QStringList tabTexts(CDlgVideoList *dlg)
{
    QStringList lst;
    for (int i = 0; i < tabsOf(dlg)->count(); ++i)
        lst << tabsOf(dlg)->tabText(i);
    return lst;
}

inline QStringList namesOf(QListWidget *list)
{
    QStringList lst;
    for (int i = 0; i < list->count(); ++i)
        lst << list->item(i)->text();
    return lst;
}

// "tab: name|url|score, ..." per tab, from the records behind the items.
inline QStringList snapshot(CDlgVideoList *dlg)
{
    QStringList lst;
    for (int t = 0; t < tabsOf(dlg)->count(); ++t) {
        QStringList lstChannels;
        QListWidget *list = listOf(dlg, t);
        for (int i = 0; i < list->count(); ++i) {
            const VideoItem *rec = videoItemOf(list->item(i));
            lstChannels
                << (rec ? QStringLiteral("%1|%2|%3").arg(rec->strName, rec->strUrl).arg(rec->nScore)
                        : QStringLiteral("<no record>"));
        }
        lst << tabsOf(dlg)->tabText(t) + QStringLiteral(": ") +
                   lstChannels.join(QStringLiteral(", "));
    }
    return lst;
}

inline QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(32, 32).toImage();
}

// The picture behind a resource path; never null, so comparing with it means
// something.
inline QImage resourceImage(const QString &strPath)
{
    const QImage image = iconImage(QIcon(strPath));
    if (image.isNull())
        qFatal("resource picture %s cannot be loaded", qPrintable(strPath));
    return image;
}

// Empties the store, both on disk and in the members.
inline void resetSettings()
{
    g_pSettings->clear();
    g_pSettings->sync();
    g_pSettings->load();
}

inline QStringList triples(std::initializer_list<const char *> lst)
{
    QStringList out;
    for (const char *sz : lst)
        out << QString::fromUtf8(sz);
    return out;
}

} // namespace channellist
