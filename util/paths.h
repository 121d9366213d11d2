#pragma once

#include <string>
#include <vector>

#include "platform/status.h"

// Returns the path with the platform's separator appended, unless it is empty or already ends
// with one.
std::string withTrailingBackslash(const std::string& path);

// Creates every level of the path that does not exist. The part before the first separator (a
// drive, the root, or the first name of a relative path) is never created itself. Succeeds
// when the whole path is a directory at the end; otherwise tells why a level could not be made.
platform::Status makeDirectoryPath(const std::string& path);

// Returns the levels that makeDirectoryPath tries to create, in its order: the path up to each
// separator after the first one, then the whole path.
std::vector<std::string> directoryLevels(const std::string& path);

// Returns the part of the path after its last separator, or the whole path when it has none.
std::string fileNameOf(const std::string& path);
