// Qt's own thread pool (QThreadPool::globalInstance()), over which Qt's
// painter and image conversions split large jobs, loses a job whose thread
// cannot be started and then waits for it for ever: where the system refuses
// threads (a process limit, no address space for a stack), the next large
// paint would freeze the program, and so would its exit. So the pool's
// threads are started once, each only when a thread can be had, before the
// program starts its own; they are kept for the whole run, and the pool is
// held to them: no later paint starts a thread.
#pragma once

namespace lozengia {

// Starts the threads of Qt's pool that can be had and keeps them; returns
// how many run (waiting at most about a second for them). Call once, on the
// GUI thread, after the application object and its windows exist.
int keep_qt_pool_threads();

}  // namespace lozengia
