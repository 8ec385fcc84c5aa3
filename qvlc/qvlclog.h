#pragma once

#include <QLoggingCategory>

// Per-event lines of the engine (one for every mouse move over the video, and
// the like). Off by default; QT_LOGGING_RULES="mirel.qvlc.input.debug=true"
// switches them on.
Q_DECLARE_LOGGING_CATEGORY(lcQVlcInput)
// libVLC's own log, read by QVlcLogWatch: its errors as info lines (shown by
// default), everything else as debug lines (off by default; switched on with
// QT_LOGGING_RULES="mirel.qvlc.libvlc.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcQVlcLibVlc)
