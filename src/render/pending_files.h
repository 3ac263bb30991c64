// The files a write has under way, kept where a handler of an interrupting
// signal can find them: temporary files, which it removes, and files being
// written in place, which it gives back their old content from a copy before
// removing the copy. The writer (output_file.h) records them here; the
// handler calls undo_pending_files().
//
// The handler and the writer never work on a file at the same time: every
// change the writer makes to a pending file (creating it, writing in place,
// renaming, putting an old content back) is one FileStep, during which its
// thread holds every signal back; a handler running on another thread first
// waits for the steps under way to end, and once it has begun no new step
// starts (the thread that would take it waits for the end of the process).
// So a file written in place is only ever put back whole, never while a write
// to it is half done.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <string>

namespace lozengia {

class FileStep {
 public:
  FileStep();
  ~FileStep();
  FileStep(const FileStep&) = delete;
  FileStep& operator=(const FileStep&) = delete;

 private:
  sigset_t old_;
};

// The functions below are called inside a FileStep. A place is an index the
// writer keeps; -1 stands for "not recorded" and is accepted everywhere.

// Records `name` (a temporary file, or the copy of a file's old content being
// made) as a file to remove. -1 when every place is taken (up to eight files
// are known at once) or the name is too long: that file then lacks this
// protection.
int pend_file(const std::string& name);

// The file at `place` now holds the first `old_size` bytes of `target`,
// readable through `copy_fd`; `target` is being written in place through
// `target_fd`.
void pend_in_place(int place, const std::string& target, int target_fd, int copy_fd,
                   off_t old_size);

// The target in place was written up to `end` (the part to put back).
void note_overwritten(int place, off_t end);

// The write ended well: a copy of an old content is removed, and the file
// (a temporary file that was renamed) forgotten.
void drop_file(int& place);

// The write was given up: what an interrupt would do, done now. A temporary
// file is removed; a file written in place gets its old content back and the
// copy is removed, or, when the old content could not be put back, the copy
// is kept and its name given in `kept`. False in that last case only.
bool undo_file(int& place, std::string* kept = nullptr);

// For a signal handler: undoes every pending file (as undo_file), telling on
// standard error where an old content that could not be put back is kept.
// Uses only lock-free atomics and async-signal-safe calls. Never returns to a
// FileStep: the handler is expected to end the process.
void undo_pending_files() noexcept;

}  // namespace lozengia
