// What a name given as an output is, found without creating, opening or
// changing anything (so without waiting for a pipe's reader): a regular file
// or a new name, one of this process's own descriptors, a special file, or
// something that cannot be written. Symbolic links are followed one by one.
#pragma once

#include <sys/stat.h>

#include <string>

namespace lozengia {

struct OutputTarget {
  enum Kind {
    kRefused,     // a folder, a missing folder, a loop of links, an empty name
    kNew,         // nothing there yet; its folder exists
    kRegular,     // a regular file
    kSpecial,     // a named pipe, a device, a socket: written straight in
    kDescriptor,  // "-", /dev/stdout, /dev/fd/N...: a descriptor of ours
  } kind = kRefused;
  std::string path;   // the name at the end of the links
  int fd = -1;        // kDescriptor: the descriptor it names
  struct stat file_info {};  // kRegular, kSpecial
  int error = 0;      // kRefused: why, as an errno value
};
OutputTarget resolve_output(const std::string& path);

// "a/b/c" -> "a/b", "c" -> ".", "/c" -> "/".
std::string parent_folder(const std::string& path);

// Whether a descriptor of ours is open for writing (and was not closed when
// the program started: see standard_descriptors.h).
bool writable_descriptor(int fd);

// Renaming over a file in a sticky folder (such as /tmp) is allowed only to
// the file's or the folder's owner.
bool sticky_forbids_rename(const OutputTarget& t);

// What a name given as an output is, in short.
enum class OutputKind {
  kRefused,  // would fail to open: a folder, a missing folder, no permission
  kFile,     // a regular file or a new name: replaced (or written in place)
  kStream,   // standard output, a pipe, a device, a socket: written straight in
};
OutputKind output_kind(const std::string& path);

// Whether two names would write into the same file or stream: the same file
// (through links, descriptors or other names of it), the same pipe or
// device, or the same new name. The null device takes any number of outputs.
bool same_output(const std::string& a, const std::string& b);

}  // namespace lozengia
