// Descriptors 0, 1 and 2 closed when a program starts (`2>&-`, a daemon's
// leftovers) would be taken by the first files it opens: its messages to
// standard error would then land in its own export. Each program opens them
// on /dev/null before anything else; standard output closed at start is
// still refused as a target ("-", /dev/stdout), so that samples asked for
// there are not silently thrown away.
#pragma once

namespace lozengia {

// Opens every closed descriptor of 0..2 on /dev/null. False when one could
// not be opened (no /dev/null): the program should then not go on.
bool open_closed_standard_descriptors();

// Whether descriptor `fd` (0..2) was closed when the function above ran.
bool closed_at_start(int fd);

}  // namespace lozengia
