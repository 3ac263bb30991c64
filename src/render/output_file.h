// The one writer behind every file the project writes: plane partitions,
// pictures (PNG, BMP, SVG, PDF) and the overflow report. What it does depends
// on what the name given to it is (output_target.h):
//   - a regular file, or a name that does not exist yet: written to a
//     temporary file beside it ("NAME.XXXXXX", NAME cut short when the name
//     is too long for that), which replaces it only once everything was
//     written (an existing file keeps its mode and, where allowed, its owner;
//     a new one gets the mode the umask gives it); symbolic links are
//     followed to the file they name.
//   - a file that may be written in a folder that may not be (or someone
//     else's file in a sticky folder): nothing can be made beside it, so it
//     is written in place. Its old content is first copied to a temporary
//     folder ($TMPDIR, /var/tmp, /tmp) and put back from there when the write
//     fails, is given up or is interrupted (pending_files.h). Where no copy
//     can be kept the file is refused, unless the caller allows writing in
//     place without one: the file is then emptied at the first write, so it
//     only ever holds new content, perhaps not all of it.
//   - "-", /dev/stdout, /dev/stderr, /dev/fd/N: the process's own descriptor,
//     written straight in (a shell's `>> log` keeps its appending);
//   - a named pipe, a character device, a socket: written straight in, never
//     renamed over;
//   - a folder, a name in a folder that does not exist, a file that may not
//     be written: refused ("Error while opening file").
// Every write and the final close are checked; a failure carries its errno.
#pragma once

#include <cstddef>
#include <string>

#include "render/output_target.h"

namespace lozengia {

// How a write ended: a status code (kOk, kOpenError, kWriteError), read as
// that code wherever one is compared or switched on, with the system's reason
// for a failure.
class WriteStatus {
 public:
  enum Code { kOk, kOpenError, kWriteError };
  WriteStatus(Code code = kOk, int error = 0) : code_(code), error_(error) {}
  operator Code() const { return code_; }
  Code code() const { return code_; }
  // The errno value of the failure; 0 when no system call failed (a picture
  // that could not be made).
  int error() const { return error_; }

  // A file that can only be written in place, refused because no copy of its
  // old content could be kept; error() says why no copy.
  static WriteStatus in_place_refused(int error);
  bool refused_in_place() const { return refused_in_place_; }
  // The write failed and the old content of a file written in place could
  // not be put back: it is kept in this copy.
  static WriteStatus kept_in(int error, const std::string& copy);
  const std::string& kept_copy() const { return kept_copy_; }

 private:
  Code code_;
  int error_;
  bool refused_in_place_ = false;
  std::string kept_copy_;
};

// The text window's messages for the two failures, the program's own texts.
const char* write_status_message(WriteStatus::Code s);

// The message for a failure, for the command-line tool and the Python module:
// "Error while writing to file NAME: REASON", and what else the user must
// know (why a file was not written in place, where an old content is kept).
std::string write_failure_text(const WriteStatus& s, const std::string& name);

// What a caller allows beyond the safe ways of writing.
struct WriteOptions {
  // A file that can only be written in place, when no copy of its old content
  // can be kept: written all the same (a failure leaves it cut short).
  bool in_place_without_copy = false;
};

// Whether `path` would be written: the checks of ReplacingFile::open without
// creating, opening or changing anything, including whether a file that can
// only be written in place finds room for the copy of its old content.
WriteStatus check_output(const std::string& path, const WriteOptions& options = {});

// A file written piece by piece: see above for what is done with each kind
// of target. Replacing a file, a failure half way or a write given up (the
// object destroyed before commit) leaves the old file as it was and removes
// the temporary one; a file written in place gets its old content back.
// Writing into a stream cannot take back what was written.
class ReplacingFile {
 public:
  ReplacingFile() = default;
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  ~ReplacingFile();  // gives the write up unless committed

  WriteStatus open(const std::string& path, const WriteOptions& options = {});
  bool write(const std::string& piece);  // false once any write failed
  bool write(const char* data, std::size_t size);
  WriteStatus commit();
  // The first failed write (kWriteError and its errno), kOk while none has
  // failed.
  WriteStatus failure() const;
  // Gives the write up now; a failure only when an old content written over
  // in place could not be put back (kept_copy() says where it is).
  WriteStatus abandon();
  // The temporary file while one is open, empty otherwise.
  const std::string& temporary() const { return tmp_; }

 private:
  enum class Mode { kClosed, kReplace, kInPlace, kInPlaceWithoutCopy, kStream };
  WriteStatus open_in_place(const OutputTarget& t, const WriteOptions& options);
  WriteStatus commit_replace();
  WriteStatus commit_in_place();
  void close_files();

  int fd_ = -1;
  int copy_fd_ = -1;  // kInPlace: the copy of the old content
  Mode mode_ = Mode::kClosed;
  std::string target_, tmp_;
  bool ok_ = true;
  int error_ = 0;           // of the first write that failed
  bool replacing_ = false;  // the target existed
  // The replaced file's owner and mode, given to its replacement.
  unsigned old_uid_ = 0, old_gid_ = 0, old_mode_ = 0;
  unsigned long long written_ = 0;
  int place_ = -1;  // where pending_files.h records tmp_ or the copy
};

// A stream target (OutputKind::kStream) opened once, so that several pieces
// go into it one after another through the writer: a named pipe whose reader
// stops at the first end of file, a terminal, a device. name() is a name of
// the open stream ("/dev/fd/N") for the writer's functions.
class HeldStream {
 public:
  HeldStream() = default;
  HeldStream(const HeldStream&) = delete;
  HeldStream& operator=(const HeldStream&) = delete;
  ~HeldStream();
  WriteStatus open(const std::string& path);
  bool is_open() const { return fd_ >= 0; }
  std::string name() const;

 private:
  int fd_ = -1;
};

// Writes `contents` to `path` through a ReplacingFile.
WriteStatus write_file_replacing(const std::string& path, const std::string& contents,
                                 const WriteOptions& options = {});
WriteStatus write_file_replacing(const std::string& path, const char* data, std::size_t size,
                                 const WriteOptions& options = {});

// Appends `contents` to `path`, creating it when needed (the overflow report);
// the same targets as above, a regular file being appended to in place.
WriteStatus append_to_file(const std::string& path, const std::string& contents);

}  // namespace lozengia
