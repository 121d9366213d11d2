#pragma once

#include "tests/support/directories.h"
#include "tests/support/temp_dir.h"

// Helpers of the Windows platform tests, which run under Wine or on Windows itself.
namespace wintest {

using ScratchDir = test::TempDir;
using test::listNames;
using test::readFile;
using test::writeFile;

}  // namespace wintest
