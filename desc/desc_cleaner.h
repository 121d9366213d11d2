#pragma once

#include <string>

// A description cleaner: takes the raw description of a .tic, returns the one to store.
using DescriptionCleaner = std::string (*)(const std::string& description);

// Cuts the description at its first cut symbol (codes 1-31, 176-223 and "$#%^*@~`'|/\_"),
// then trims spaces (code 32 only) from both ends. The result may be empty.
std::string cutDescription(const std::string& description);

// Returns the description unchanged, spaces and control characters included.
std::string keepDescription(const std::string& description);
