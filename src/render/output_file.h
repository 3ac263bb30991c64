// The one writer behind every file the project writes: plane partitions,
// pictures (PNG, BMP, SVG, PDF) and the overflow report. What it does depends
// on what the name given to it is:
//   - a regular file, or a name that does not exist yet: written to a
//     temporary file beside it, which replaces it only once everything was
//     written (an existing file keeps its mode and, where allowed, its owner;
//     a new one gets the mode the umask gives it); symbolic links are followed
//     to the file they name. When the folder may not be written but the file
//     may, the file is written in place instead.
//   - "-", /dev/stdout, /dev/stderr, /dev/fd/N: the process's own descriptor,
//     written straight in (a shell's `>> log` keeps its appending);
//   - a named pipe, a character device, a socket: written straight in, never
//     renamed over;
//   - a folder, a name in a folder that does not exist, a file that may not
//     be written: refused ("Error while opening file").
// Every write and the final close are checked.
#pragma once

#include <cstddef>
#include <string>

namespace lozengia {

enum class WriteStatus { kOk, kOpenError, kWriteError };

// The text window's messages for the two failures.
inline const char* write_status_message(WriteStatus s) {
  switch (s) {
    case WriteStatus::kOpenError:
      return "Error while opening file";
    case WriteStatus::kWriteError:
      return "Error while writing to file";
    default:
      return "";
  }
}

// What a name given as an output is, found without creating, opening or
// changing anything (so without waiting for a pipe's reader).
enum class OutputKind {
  kRefused,  // would fail to open: a folder, a missing folder, no permission
  kFile,     // a regular file or a new name: replaced (or written in place)
  kStream,   // standard output, a pipe, a device, a socket: written straight in
};
OutputKind output_kind(const std::string& path);

// A file written piece by piece: see above for what is done with each kind
// of target. Replacing a file, a failure half way or a write given up (the
// object destroyed before commit) leaves the old file as it was and removes
// the temporary one. Writing in place or into a stream cannot take back what
// was written.
class ReplacingFile {
 public:
  ReplacingFile() = default;
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  ~ReplacingFile();  // removes the temporary file unless committed

  WriteStatus open(const std::string& path);
  bool write(const std::string& piece);  // false once any write failed
  bool write(const char* data, std::size_t size);
  WriteStatus commit();
  // The temporary file while one is open, empty otherwise.
  const std::string& temporary() const { return tmp_; }

 private:
  enum class Mode { kClosed, kReplace, kInPlace, kStream };
  WriteStatus open_in_place();
  int create_temporary(unsigned mode);

  int fd_ = -1;
  Mode mode_ = Mode::kClosed;
  std::string target_, tmp_;
  bool ok_ = true;
  bool replacing_ = false;  // the target existed
  // The replaced file's owner and mode, given to its replacement.
  unsigned old_uid_ = 0, old_gid_ = 0, old_mode_ = 0;
  unsigned long long written_ = 0;
  int slot_ = -1;  // where remove_open_temporaries() finds tmp_, -1: not there
};

// Removes every temporary file a ReplacingFile has open in this process, and
// nothing else: for a handler of an interrupting signal, which may call it
// (it only reads lock-free atomics and calls unlink). Up to eight temporary
// files open at once are known to it.
void remove_open_temporaries() noexcept;

// Writes `contents` to `path` through a ReplacingFile.
WriteStatus write_file_replacing(const std::string& path, const std::string& contents);
WriteStatus write_file_replacing(const std::string& path, const char* data, std::size_t size);

// Appends `contents` to `path`, creating it when needed (the overflow report);
// the same targets as above, a regular file being appended to in place.
WriteStatus append_to_file(const std::string& path, const std::string& contents);

}  // namespace lozengia
