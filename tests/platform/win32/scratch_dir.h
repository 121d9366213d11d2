#pragma once

#include <string>

#include "tests/support/temp_dir.h"

// Helpers of the Windows platform tests, which run under Wine or on Windows itself.
namespace wintest {

using ScratchDir = test::TempDir;
using test::readFile;
using test::writeFile;

// The names in the directory, sorted.
std::string listNames(const std::string& directory);

}  // namespace wintest
