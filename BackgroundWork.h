#pragma once

#include <QRunnable>
#include <QThreadPool>
#include <QtConcurrent>

#include <utility>

// The long work the GUI thread hands off (reading a big reply or store,
// writing the store, freeing a big list) runs on threads of its own at a
// lower priority: on a machine with two cores, the GUI thread keeps its core
// while half a million channels are read, and the window keeps answering.
namespace BackgroundWork {

QThreadPool *pool();
// Lowers the calling thread's priority (nice 10); the pool's threads do it
// first thing in every task.
void lowerPriority();

// QtConcurrent::run on the pool; the arguments are taken by value.
template <typename Function, typename... Args> auto run(Function function, Args... args)
{
    return QtConcurrent::run(pool(), [function, args...]() mutable {
        lowerPriority();
        return function(std::move(args)...);
    });
}

// Frees a big value on the pool. The value is moved into the task, so the
// calling thread keeps no reference that could end up being the last one:
// with run() and a lambda, the caller's copy is let go only after the task
// is queued, and a busy caller can lose that race and free it itself.
template <typename T> void release(T value)
{
    struct Release : QRunnable
    {
        explicit Release(T &&v) : value(std::move(v)) {}
        void run() override
        {
            lowerPriority();
            value = T();
        }
        T value;
    };
    pool()->start(new Release(std::move(value)));
}

} // namespace BackgroundWork
