// Qt's own thread pool (QThreadPool::globalInstance()), over which Qt's
// painter and image conversions split large jobs, loses a job whose thread
// cannot be started and then waits for it for ever: where the system refuses
// threads (a process limit, no address space for a stack), the next large
// paint would freeze the program. So the pool's threads are all started at
// once, before the program starts its own, and kept for the whole run: no
// later paint needs a new one.
#pragma once

namespace lozengia {

// Starts every thread of Qt's pool and keeps them; returns how many run
// (waiting at most about a second for them). Call once, on the GUI thread,
// after the application object exists.
int keep_qt_pool_threads();

}  // namespace lozengia
