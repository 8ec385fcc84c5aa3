// What both fuzz targets need before their first input: widgets on the
// offscreen platform, a private settings directory and the settings store.
#pragma once

#include "Settings.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

// Leaks of the system libraries under Qt, made once when the first widget
// needs fonts; nothing of ours. Every other leak stops the run.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

namespace fuzzsetup {

// What the program logged for the current input, for targets that check it.
inline QStringList &messages()
{
    static QStringList s_lst;
    return s_lst;
}

// The program logs every odd reply; at thousands of inputs a second printing
// that is noise. MIREL_FUZZ_LOG=1 prints it (when replaying a single input).
inline void messageHandler(QtMsgType type, const QMessageLogContext &, const QString &strMsg)
{
    static const bool s_bPrint = qgetenv("MIREL_FUZZ_LOG") == "1";
    if (s_bPrint || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(strMsg));
    if (type == QtFatalMsg)
        std::abort();
    if (messages().size() < 100)
        messages().append(strMsg);
}

// Makes the application, a throw-away HOME/XDG_CONFIG_HOME and g_pSettings.
// Everything lives until the process ends.
// QApplication gets an argument list of its own: it would take libFuzzer's
// flags for its own and strip them.
inline void init(char *pszProgram)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LANG", "C.UTF-8");
    // In memory where there is such a place: the settings file is written
    // thousands of times, and every write waits for the disk otherwise.
    const QString strBase =
        QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    static auto *pDir = new QTemporaryDir(strBase + QStringLiteral("/mirel-fuzz-XXXXXX"));
    if (!pDir->isValid()) {
        std::fprintf(stderr, "cannot make a temporary directory\n");
        std::abort();
    }
    const QByteArray home = QFile::encodeName(pDir->path());
    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", home + "/.config");
    qputenv("XDG_CACHE_HOME", home + "/.cache");
    qputenv("XDG_DATA_HOME", home + "/.local/share");
    qInstallMessageHandler(messageHandler);

    static int s_argc = 1;
    static char *s_argv[] = {pszProgram, nullptr};
    new QApplication(s_argc, s_argv);
    g_pSettings = new CSettings(QStringLiteral("Mirel Software"), QStringLiteral("Mirel Player"));
}

// Stops the run with a message libFuzzer reports as a crash, with the input.
[[noreturn]] inline void fail(const char *pszWhat, const QString &strDetail = QString())
{
    std::fprintf(stderr, "invariant broken: %s %s\n", pszWhat, qPrintable(strDetail));
    std::abort();
}

} // namespace fuzzsetup
