// Threads started as far as the system lets. A start can fail (too many
// processes for the user, no address space left for another stack); the
// work is then shared by the threads that did start, and the calling thread,
// instead of the process ending. Every sample depends on its seed only, never
// on how many threads made it, so fewer threads only take longer.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "core/message_sink.h"

namespace lozengia {

// Notes that a run got fewer threads than it asked for, and says so once: at
// once to a sink given at construction (which must then be safe to call from
// any thread), or later through take_line(). Safe to call from any thread.
class ThreadShortfall {
 public:
  ThreadShortfall() = default;
  explicit ThreadShortfall(MessageSink& tell_at_once) : sink_(&tell_at_once) {}
  ThreadShortfall(const ThreadShortfall&) = delete;
  ThreadShortfall& operator=(const ThreadShortfall&) = delete;

  // `started` of the `asked` threads work (the calling thread counted); only
  // started < asked is a shortfall.
  void note(unsigned started, unsigned asked);
  // The one line about the first shortfall, if there was one and it was not
  // told yet; empty otherwise.
  std::string take_line();
  // Whether any shortfall was noted (told or not).
  bool noted() const;

 private:
  mutable std::mutex m_;
  MessageSink* sink_ = nullptr;
  unsigned started_ = 0, asked_ = 0;
  bool noted_ = false, told_ = false;
};

// The line told for `started` of `asked` threads.
std::string thread_shortfall_line(unsigned started, unsigned asked);

// A thread running `body`, or an empty (not joinable) one when no thread can
// be started.
template <class Body>
std::thread try_start_thread(Body&& body) {
  try {
    return std::thread(std::forward<Body>(body));
  } catch (const std::system_error&) {
  } catch (const std::bad_alloc&) {
  }
  return {};
}

// A group of threads joined when the group ends (or at join()).
class WorkerThreads {
 public:
  WorkerThreads() = default;
  ~WorkerThreads() { join(); }
  WorkerThreads(const WorkerThreads&) = delete;
  WorkerThreads& operator=(const WorkerThreads&) = delete;

  // Starts body(first), body(first + 1), ... each on a thread of its own,
  // `count` of them, until one cannot be started. Returns how many started.
  // The threads wait until every start was tried: a thread that finished its
  // share early would otherwise make room for the next start, and how many
  // start (and so whether a shortfall is told) would depend on timing.
  template <class Body>
  unsigned start(unsigned count, const Body& body, unsigned first = 0) {
    std::shared_ptr<std::atomic<bool>> gate;
    try {
      gate = std::make_shared<std::atomic<bool>>(false);
    } catch (const std::bad_alloc&) {
      return 0;
    }
    unsigned k = 0;
    try {
      threads_.reserve(threads_.size() + count);
      for (; k < count; ++k)
        threads_.emplace_back([gate, body, n = first + k] {
          gate->wait(false);
          body(n);
        });
    } catch (const std::system_error&) {
      // No more threads (EAGAIN): the ones started do the work.
    } catch (const std::bad_alloc&) {
      // No memory for another thread's state: the same.
    }
    gate->store(true);
    gate->notify_all();
    return k;
  }

  void join() {
    for (std::thread& t : threads_)
      if (t.joinable()) t.join();
    threads_.clear();
  }

 private:
  std::vector<std::thread> threads_;
};

}  // namespace lozengia
