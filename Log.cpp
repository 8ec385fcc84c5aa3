#include "Log.h"

Q_LOGGING_CATEGORY(lcOverlay, "mirel.overlay", QtInfoMsg)
