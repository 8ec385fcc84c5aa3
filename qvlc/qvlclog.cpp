#include "qvlclog.h"

Q_LOGGING_CATEGORY(lcQVlcInput, "mirel.qvlc.input", QtInfoMsg)
Q_LOGGING_CATEGORY(lcQVlcLibVlc, "mirel.qvlc.libvlc", QtInfoMsg)
