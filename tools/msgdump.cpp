// msgdump: shows a stored netmail message ("%d.msg") readably, header fields first, then the
// body with its control bytes made visible. The package installs it as quenfar-msgdump.
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "announce/message_dump.h"
#include "platform/file.h"

namespace {

constexpr std::string_view kUsage =
    "usage: quenfar-msgdump FILE.msg\n"
    "       quenfar-msgdump --help | --version\n"
    "Shows a stored netmail message (FTS-0001): its header fields, then its text with\n"
    "control bytes made visible.\n";

}  // namespace

int main(int argc, char** argv) {
  const std::string_view argument = argc == 2 ? std::string_view(argv[1]) : std::string_view();
  if (argument == "--help" || argument == "-h") {
    std::cout << kUsage;
    return std::cout.good() ? 0 : 1;
  }
  if (argument == "--version" || argument == "-V") {
    std::cout << "quenfar-msgdump " QUENFAR_VERSION "\n";
    return std::cout.good() ? 0 : 1;
  }
  if (argc != 2 || argument.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string path = argv[1];
  const std::optional<std::string> bytes = platform::readWholeFile(path);
  if (!bytes) {
    std::cerr << "quenfar-msgdump: cannot read " << path << "\n";
    return 1;
  }
  std::string text;
  if (!dumpStoredMessage(*bytes, text)) {
    std::cerr << "quenfar-msgdump: " << path << " is too short for a message header ("
              << bytes->size() << " bytes)\n";
    return 1;
  }
  std::cout << text;
  return std::cout.good() ? 0 : 1;
}
