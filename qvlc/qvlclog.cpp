#include "qvlclog.h"

Q_LOGGING_CATEGORY(lcQVlcInput, "mirel.qvlc.input", QtInfoMsg)
