// msgdump: shows a stored netmail message ("%d.msg") readably, header fields first, then the
// body with its control bytes made visible.
#include <iostream>
#include <optional>
#include <string>

#include "announce/message_dump.h"
#include "platform/file.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: msgdump <file.msg>\n";
    return 2;
  }
  const std::string path = argv[1];
  const std::optional<std::string> bytes = platform::readWholeFile(path);
  if (!bytes) {
    std::cerr << "msgdump: cannot read " << path << "\n";
    return 1;
  }
  std::string text;
  if (!dumpStoredMessage(*bytes, text)) {
    std::cerr << "msgdump: " << path << " is too short for a message header (" << bytes->size()
              << " bytes)\n";
    return 1;
  }
  std::cout << text;
  return std::cout.good() ? 0 : 1;
}
