#pragma once

// Time stamps of the way from the process start to the first picture, to see
// what stands in between. Written as debug lines of the logging category
// "mirel.startup", off by default:
//
//   QT_LOGGING_RULES="mirel.startup.debug=true" mirel-player
//
// Each phase is written once, the first time it is reached, with the time
// since the process started and since the phase before it; the last phase
// to be reached closes the trace with one summary line. With the category off, mark() only
// looks at it and returns.
class CStartupTrace
{
public:
    enum Phase
    {
        ProcessStart, // the kernel's start time of the process (10 ms steps)
        MainEntered,
        SettingsLoaded,    // the settings store read
        WorkerStarted,     // the playback worker's thread asked to start
        AppMade,           // QApplication constructed
        PlayRequested,     // the first play command raised, with its window id
        WindowConstructed, // MainWindow's constructor returned
        WindowShown,       // show() returned
        InstanceMade,      // libVLC's instance and player made (worker thread)
        MediaOpened,       // the first media opened and asked to play (worker thread)
        FirstPlaying,      // libVLC's first Playing state (libVLC's thread)
        PhaseCount
    };

    // Starts the clock; main() calls it before anything else.
    static void start();
    // Records a phase the first time it is reached, on any thread.
    static void mark(Phase phase);
    static const char *name(Phase phase);
};
