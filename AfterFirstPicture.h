#pragma once

#include <QList>
#include <functional>

// Start-up work the first picture does not need, held back until the picture
// is on the screen. Setting up the network stack for the first web request,
// for one, takes tens of milliseconds on the GUI thread and loads plug-ins
// while libVLC loads its own; with auto-play that waits until the channel
// shows something, fails, or keeps the user waiting ("Connecting..."). With
// nothing held, work runs at once.
class CAfterFirstPicture
{
public:
    // From now on run() holds work back, until release().
    void hold() { m_bHolding = true; }
    bool isHolding() const { return m_bHolding; }
    // Runs the work now, or at release() while held.
    void run(std::function<void()> work);
    // Runs what was held back, in the order it came.
    void release();
    // Forgets what was held back (the window closes); runs what comes later.
    void drop();

private:
    bool m_bHolding = false;
    QList<std::function<void()>> m_lstHeld;
};
