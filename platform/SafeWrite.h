// Writing a file the user named so that a failure never leaves it half-written: the
// response-list export and orvane-reg's export both write through here. No Qt.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace orvane::files {

// Writes |length| bytes to |fd|, resuming after partial writes and interruptions.
// 0, or the errno value (ENOSPC when the file takes no more bytes).
int WriteAll(int fd, const char* data, size_t length);

// Creates a new, empty file (mode 0600) in the folder open as |dirFd|, beside the entry
// |name|, under a name nobody can guess beforehand (".NAME.XXXXXX", NAME shortened when
// the whole would be too long for a folder entry). Never opens an existing file or
// follows a link. 0 with |*fd| and |*tempName| set, or the errno value.
int CreateTemporaryBeside(int dirFd, const std::string& name, int* fd, std::string* tempName);

// Writes the content into |fd| (positioned at 0): 0, or the errno value. It may be
// called a second time when the first attempt could not be put in place.
using Producer = std::function<int(int fd)>;

// Writes the file at |path|:
//  - a regular file (new or existing) is written to a temporary file beside it, flushed
//    to the disk and renamed over it, so |path| holds its old content or the whole new
//    one; an existing file keeps its permission bits (and, where allowed, its owner).
//    One the user may not write to is refused (EACCES) and kept.
//  - a symbolic link (or a chain of them) is followed: the file it names is written and
//    the link is kept; a link whose target is missing gets the target made. A loop of
//    links fails with ELOOP.
//  - a device or a named pipe is written to where it is, never replaced; a pipe nobody
//    reads fails at once (ENXIO).
//  - an existing file that may be written but not replaced (its folder may not be
//    written to, or refuses the new name) is written in place; |*inPlace| says so.
// Returns 0, or the errno value; on failure no temporary file is left behind.
int WriteFileSafely(const std::string& path, const Producer& produce, bool* inPlace = nullptr);

}  // namespace orvane::files
