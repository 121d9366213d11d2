#include "tests/support/node.h"

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

namespace test {

Node::Node() {
  std::filesystem::create_directories(dir / "bin");
  std::filesystem::copy_file(QUENFAR_BINARY, dir / "bin/quenfar",
                             std::filesystem::copy_options::overwrite_existing);
}

void Node::writeConfig(const std::string& text) const {
  writeFile(dir / "bin/quenfar.cfg", text);
}

void Node::writeStandardConfig(const std::string& extraQuenfar, const std::string& include) const {
  std::filesystem::create_directories(dir / "in");
  writeConfig("[QUENFAR]\nInbound = " + path("in") + "\nFileecho = " + path("files") +
              "\nLogfile = " + path("quenfar.log") + "\n" + extraQuenfar + "\n[INCLUDE]\n" +
              include + "\n");
}

void Node::write(const std::string& relative, const std::string& contents) const {
  writeFile(path(relative), contents);
}

std::string Node::read(const std::string& relative) const {
  return readFile(path(relative));
}

bool Node::exists(const std::string& relative) const {
  return fileExists(path(relative));
}

void Node::addTic(const std::string& ticName, const std::string& lines) const {
  write("in/" + ticName, lines);
}

RunResult Node::run(const std::string& workDir, const std::string& arguments) const {
  const std::string cwd = workDir.empty() ? root() : path(workDir);
  const std::string command = "cd '" + cwd + "' && '" + path("bin/quenfar") + "' " + arguments +
                              " > '" + path(".stdout") + "' 2> '" + path(".stderr") +
                              "' < /dev/null; echo $? > '" + path(".rc") + "'";
  RunResult result;
  if (std::system(command.c_str()) != 0) {
    return result;
  }
  result.exitCode = std::atoi(readFile(path(".rc")).c_str());
  result.output = readFile(path(".stdout"));
  result.errors = readFile(path(".stderr"));
  std::filesystem::remove(path(".rc"));
  std::filesystem::remove(path(".stdout"));
  std::filesystem::remove(path(".stderr"));
  return result;
}

void Node::runTogether(int count) const {
  std::string command = "cd '" + root() + "' && (";
  for (int i = 0; i < count; ++i) {
    command += "'" + path("bin/quenfar") + "' > /dev/null 2>&1 < /dev/null & ";
  }
  command += "wait)";
  static_cast<void>(std::system(command.c_str()));
}

const std::string kHeading =
    "Quenfar ver 3.75 HERALD\n"
    "A file-echo processor for FTN nodes: tosses .tic files into their areas.\n"
    "Free software, provided as is, without warranty of any kind.\n"
    "Questions and reports: the project's issue tracker.\n"
    "\n";

std::size_t countOf(const std::string& text, const std::string& needle) {
  std::size_t found = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos;
       at = text.find(needle, at + needle.size())) {
    ++found;
  }
  return found;
}

std::string allMessages(const Node& node) {
  std::string messages;
  for (const auto& entry : std::filesystem::directory_iterator(node.path("netmail"))) {
    messages += readFile(entry.path().string());
  }
  return messages;
}

std::string maskLogTimes(const std::string& log) {
  static const std::regex banner(R"((=== (?:Start |End   ) )[^\r\n]*)");
  return std::regex_replace(log, banner, "$1<time>");
}

bool processEndsSoon(const std::string& pid) {
  const int fd = static_cast<int>(syscall(SYS_pidfd_open, std::stoi(pid), 0));
  if (fd < 0) {
    return true;  // gone already
  }
  pollfd entry{fd, POLLIN, 0};
  const bool ended = poll(&entry, 1, 10000) == 1;
  close(fd);
  return ended;
}

}  // namespace test
