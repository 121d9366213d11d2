#pragma once

#include <string>

// Returns the path with the platform's separator appended, unless it is empty or already ends
// with one.
std::string withTrailingBackslash(const std::string& path);

// Creates every level of the path that does not exist, silently. The part before the first
// separator (a drive, the root, or the first name of a relative path) is never created itself.
void makeDirectoryPath(const std::string& path);

// Returns the part of the path after its last separator, or the whole path when it has none.
std::string fileNameOf(const std::string& path);
