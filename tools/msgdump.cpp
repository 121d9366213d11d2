// msgdump: shows a stored netmail message ("%d.msg") readably, header fields first, then the
// body with its control bytes made visible. The package installs it as quenfar-msgdump.
#include <iostream>
#include <string>
#include <string_view>

#include "announce/message_dump.h"
#include "platform/file.h"
#include "platform/status.h"

namespace {

constexpr std::string_view kUsage =
    "usage: quenfar-msgdump FILE.msg...\n"
    "       quenfar-msgdump --help | --version\n"
    "Shows stored netmail messages (FTS-0001): the header fields of each, then its text with\n"
    "control bytes made visible.\n";

// Shows one message; false, with the cause on standard error, when it cannot.
bool dump(const std::string& path) {
  const platform::File file = platform::File::open(path, platform::OpenMode::readExisting);
  if (!file.isOpen()) {
    std::cerr << "quenfar-msgdump: cannot read " << path << ": " << file.why().text() << "\n";
    return false;
  }
  const platform::Result<std::string> read = file.readAll();
  if (!read) {
    std::cerr << "quenfar-msgdump: cannot read " << path << ": " << read.status().text() << "\n";
    return false;
  }
  const std::string& bytes = *read;
  std::string text;
  if (!dumpStoredMessage(bytes, text)) {
    std::cerr << "quenfar-msgdump: " << path << " is too short for a message header ("
              << bytes.size() << " bytes)\n";
    return false;
  }
  std::cout << text;
  return true;
}

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
  if (argc < 2) {
    std::cerr << kUsage;
    return 2;
  }
  // Several messages are each headed by their name, as head(1) does it.
  bool allShown = true;
  for (int i = 1; i < argc; ++i) {
    const std::string path = argv[i];
    if (argc > 2) {
      std::cout << (i > 1 ? "\n" : "") << "==> " << path << " <==\n";
    }
    allShown = dump(path) && allShown;
  }
  std::cout << std::flush;
  return allShown && std::cout.good() ? 0 : 1;
}
