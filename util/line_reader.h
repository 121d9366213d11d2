#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Returns the next line of `block` from `position`, without its line end, and moves
// `position` past it. CR LF, a lone CR and a lone LF each end one line. At or past the end it
// returns the empty string and sets `position` to the block's length.
std::string readLine(std::string_view block, std::uint32_t& position);
