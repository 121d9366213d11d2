#pragma once

#include <string>
#include <string_view>

// Returns the text with its letters made upper case. Text is 8-bit without an assumed code
// page, so only the ASCII letters a-z change.
std::string toUpperAnsi(std::string_view text);

// Returns the text without the space characters (code 32) at its start and end.
std::string trimSpaces(std::string_view text);
