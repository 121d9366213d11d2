#pragma once

#include <string>

// The program's numbered messages.
namespace msg {
inline constexpr int kNotice = 1;
inline constexpr int kLogTitle = 2;
inline constexpr int kRunningUnderWindows = 3;
inline constexpr int kBuild = 4;
inline constexpr int kStartBanner = 5;
inline constexpr int kEndBanner = 6;
inline constexpr int kNoInbound = 8;
inline constexpr int kNoFileecho = 9;
inline constexpr int kNothingToToss = 10;
inline constexpr int kCantMove = 11;
inline constexpr int kNoFtnAddress = 12;
inline constexpr int kHerald = 13;
inline constexpr int kMailboxOwner = 14;
inline constexpr int kAnnounceSubject = 15;
inline constexpr int kRunningUnder = 16;
inline constexpr int kBanner = 17;
}  // namespace msg

// Returns the text of numbered message `number`; the empty string for an unknown number.
std::string loadMessage(int number);

// The program's version ("3.75").
const char* programVersion();
