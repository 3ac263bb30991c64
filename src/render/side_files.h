// The files the writer makes besides its target: the temporary file beside
// it, renamed over it once everything was written, and, for a file that must
// be written in place, a copy of its old content in a temporary folder, from
// which a failed or interrupted write is put back.
#pragma once

#include <sys/types.h>

#include <string>

namespace lozengia {

// Creates the new file "FOLDER/NAME.XXXXXX" (six random letters and digits)
// with `mode`, through open() itself, so that the kernel applies the umask
// (or the folder's default ACL) and the mode of a new file is learnt without
// reading the process-wide umask, which other threads may be using. A NAME
// too long for that (a 255-byte name) is cut, at a whole UTF-8 character,
// until the new name fits. `access` is O_WRONLY or O_RDWR. Returns the
// descriptor and its name in `made`, or -1 with errno set.
int create_side_file(const std::string& folder, const std::string& name, int access, mode_t mode,
                     std::string& made);

// A copy of a file's old content, private to its owner (mode 0600), made
// before the file is written in place.
struct OldCopy {
  int fd = -1;  // the copy, open for reading and writing; -1: none was made
  std::string name;
  off_t size = 0;  // the bytes copied: the whole file as it was
  int place = -1;  // where the pending files (pending_files.h) record it
  int error = 0;   // fd < 0: why no copy could be kept, as an errno value
};

// Copies everything `source` (open for reading, at any offset) holds into the
// first of $TMPDIR, /var/tmp and /tmp that may be written and has room for
// it, under the name "NAME.old.XXXXXX" (NAME: the target's own name). The
// copy is recorded as a pending file (an interrupt removes a half-made copy);
// with no place left to record it, no copy is kept.
OldCopy keep_old_copy(int source, const std::string& target, off_t size);

// Whether keep_old_copy would find a folder with room for `size` bytes: 0,
// else why not (ENOSPC, or why no folder may be written).
int room_for_old_copy(off_t size);

}  // namespace lozengia
