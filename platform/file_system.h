#pragma once

#include <string>

#include "platform/file.h"
#include "platform/status.h"

// Names in the file system: looking them up, making directories, deleting and disposing of
// files. (Moving a file by name is in move.h.)
namespace platform {

// The directory part of a path, with its trailing separator; empty for a bare name.
std::string directoryOf(const std::string& path);

// True when `name` can stand for one entry of a directory on this system, taken from a remote
// system: not empty, not "." or "..", free of separators and control characters and, on
// Windows, of drive and stream colons and of a trailing space or dot (which Windows drops, so
// the file could never be found under the name given).
bool isPlainEntryName(const std::string& name);

// True when an entry of that name exists (a dangling link counts).
bool exists(const std::string& path);

// True when the path names a directory.
bool isDirectory(const std::string& path);

// Returns the path with every link resolved, made absolute: the file that a reader of `path`
// reaches. A link whose target is missing is still followed as far as it leads, so that a
// missing file is named where it is looked for in the end. Outside POSIX the absolute path.
std::string resolvedPath(const std::string& path);

// Checks, without holding or changing anything, that `path` names a regular file that this
// user may read: fails with the system's cause, or as a directory or other non-file entry.
Status checkReadableFile(const std::string& path);

// Checks, without changing anything, that this user may write `path` (the empty path is the
// current directory): for a directory, make and remove entries in it; for a file, write it. Fails
// with the system's cause (a missing path, no permission, a read-only file system).
Status checkWritable(const std::string& path);

// Succeeds when the path itself, not what a link points to, is a regular file; otherwise the
// cause ("it is a symbolic link", "it is a directory", "it is not a regular file", or the
// system's).
Status checkRegularFile(const std::string& path);

// Creates one directory level. Fails when it exists already or cannot be created.
Status createDirectory(const std::string& path);

// Deletes a file. Never removes a directory.
Status deleteFile(const std::string& path);

// Lets go of `held`, the file open at `path`, and deletes it (when `destination` is empty) or
// moves it to `destination`. A file at the destination is replaced, and across file systems the
// contents are copied from the held file itself into a temporary file beside the destination,
// put in place once complete, and `path` is then deleted. Where the system can (POSIX) the hold
// lasts until the file is gone from `path`, so that no other opener takes it up in between;
// elsewhere it ends first. `held` is closed afterwards, whatever the outcome; on failure the
// file stays at `path`.
Status disposeHeld(File& held, const std::string& path, const std::string& destination = {});

}  // namespace platform
