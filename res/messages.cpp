#include "res/messages.h"

#include <array>
#include <utility>

// The one place the version is given is the project's CMakeLists.txt.
#ifndef QUENFAR_VERSION
#error "QUENFAR_VERSION is set by the build"
#endif

const char* programVersion() {
  return QUENFAR_VERSION;
}

std::string loadMessage(int number) {
  static constexpr std::array<std::pair<int, const char*>, 16> kTable{{
      {msg::kNotice,
       "A file-echo processor for FTN nodes: tosses .tic files into their areas.\n"
       "Free software, provided as is, without warranty of any kind.\n"
       "Questions and reports: the project's issue tracker.\n"},
      {msg::kLogTitle, "Quenfar log file"},
      {msg::kRunningUnderWindows, "Running under Windows "},
      {msg::kBuild, "Build"},
      {msg::kStartBanner, "=== Start  %H:%M:%S  %A, %d %B %Y"},
      {msg::kEndBanner, "=== End    %H:%M:%S  %A, %d %B %Y"},
      {msg::kNoInbound, "Inbound dir not defined"},
      {msg::kNoFileecho, "Fileecho dir not defined"},
      {msg::kNothingToToss, "Nothing to toss"},
      {msg::kCantMove, "Can't move file"},
      {msg::kNoFtnAddress, "FTN address not defined"},
      {msg::kHerald, "Quenfar Herald"},
      {msg::kMailboxOwner, "Mailbox owner"},
      {msg::kAnnounceSubject, "Announce at %B %d, %Y"},
      // The log's system line outside Windows: followed by the kernel's name and release.
      {msg::kRunningUnder, "Running under "},
      {msg::kBanner, "Quenfar ver " QUENFAR_VERSION " HERALD"},
  }};
  for (const auto& [key, text] : kTable) {
    if (key == number) {
      return text;
    }
  }
  return {};
}
