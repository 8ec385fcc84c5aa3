#pragma once

#include <QLoggingCategory>

// Diagnostics that come several times per paint or input event: too many for
// the default output, useful when chasing a drawing problem. Off by default;
// switched on with QT_LOGGING_RULES, for example
// QT_LOGGING_RULES="mirel.*.debug=true" for all of them.
Q_DECLARE_LOGGING_CATEGORY(lcOverlay) // "mirel.overlay": each paint of a text overlay
Q_DECLARE_LOGGING_CATEGORY(lcStream)  // "mirel.stream": each report on the playing stream
Q_DECLARE_LOGGING_CATEGORY(lcStartup) // "mirel.startup": the start-up trace (StartupTrace.h)
