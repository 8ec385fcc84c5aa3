#include "Log.h"

Q_LOGGING_CATEGORY(lcOverlay, "mirel.overlay", QtInfoMsg)
Q_LOGGING_CATEGORY(lcStream, "mirel.stream", QtInfoMsg)
Q_LOGGING_CATEGORY(lcStartup, "mirel.startup", QtInfoMsg)
