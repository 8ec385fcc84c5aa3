#pragma once

// Loads the system's OpenGL driver on a thread of its own, off the way of
// the GUI and of any picture, and keeps it loaded. libVLC's video output
// draws with OpenGL; without this, the first play of a session loads and
// starts the driver when its first picture is decoded, in the way of that
// picture (all of LLVM for Mesa's software driver, and LLVM for some hardware
// drivers too). Qt itself is kept off OpenGL (main.cpp): on the GUI thread,
// at start-up, the same loading held the window back.
//
// Only on X11 (xcb), through the driver's own libraries found at run time:
// nothing is linked to them, and where they are missing nothing happens. The
// driver is loaded through a connection of its own to the X server, open
// until finish(), which the application object's end calls.
class CGlDriverWarmUp
{
public:
    // Starts the loading, once per process, when the program runs on xcb.
    // The GUI thread, with the application object made.
    static void start();
    // Waits for the loading to end and closes its connection. Any thread;
    // later calls, and later start()s, do nothing.
    static void finish();
};
