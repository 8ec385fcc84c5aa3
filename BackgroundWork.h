#pragma once

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

} // namespace BackgroundWork
