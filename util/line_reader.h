#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Returns the next line of `block` from `position`, in place, without its line end, and moves
// `position` past it. CR LF, a lone CR and a lone LF each end one line. At or past the end it
// returns the empty view and sets `position` to the block's length.
std::string_view nextLine(std::string_view block, std::size_t& position);

// As nextLine, as a string of its own: the line reader that splits every text file the
// program reads. CR LF, a lone CR and a lone LF each end one line. At or past the end it
// returns the empty string and sets `position` to the block's length.
std::string readLine(std::string_view block, std::uint32_t& position);
