#pragma once

#include <string>
#include <string_view>

// Renders the bytes of a stored netmail message for a person to read: the header's fields one
// per line, then the body with control bytes shown as ^A-style escapes, bytes above 127 as
// \xNN, CR LF as a line break, and a note on the final zero byte. False, and `out` empty, when
// the bytes are too few to hold a header.
bool dumpStoredMessage(std::string_view bytes, std::string& out);
