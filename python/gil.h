// Work done without the interpreter's lock, safe in a daemon thread while the
// interpreter ends.
//
// When the interpreter is finalising, a thread that takes the lock back is
// ended by Python with pthread_exit, whose forced unwinding aborts the
// process (std::terminate) as soon as it meets a noexcept frame, such as the
// destructor of pybind11's gil_scoped_release. So the lock is taken back in
// plain code, never in a destructor, and a thread that the interpreter would
// end is parked for good instead: it holds nothing any more, and the process
// exits around it.
#pragma once

#include <pybind11/pybind11.h>

#include <cxxabi.h>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

namespace lozengia::pymod {

// The interpreter's main thread (threading.main_thread().ident), told once
// when the module is imported: the thread that finalises the interpreter.
void remember_main_thread(unsigned long ident);

// Takes the lock back for `state` (from PyEval_SaveThread), or parks this
// thread for good when the interpreter is ending and would end it.
void take_back_gil(PyThreadState* state);

// Runs f() without the interpreter's lock and returns its result with the
// lock held again; an exception of f is thrown once the lock is back.
template <class F>
auto without_gil(F&& f) -> decltype(f()) {
  using Result = decltype(f());
  PyThreadState* state = PyEval_SaveThread();
  std::exception_ptr error;
  if constexpr (std::is_void_v<Result>) {
    try {
      f();
    } catch (abi::__forced_unwind&) {
      throw;  // the thread is being ended: nothing may stop that
    } catch (...) {
      error = std::current_exception();
    }
    take_back_gil(state);
    if (error) std::rethrow_exception(error);
  } else {
    std::optional<Result> result;
    try {
      result.emplace(f());
    } catch (abi::__forced_unwind&) {
      throw;
    } catch (...) {
      error = std::current_exception();
    }
    take_back_gil(state);
    if (error) std::rethrow_exception(error);
    return std::move(*result);
  }
}

}  // namespace lozengia::pymod
