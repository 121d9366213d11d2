#include "tic/wait_notices.h"

#include <charconv>
#include <string_view>

#include "platform/durability.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "util/line_reader.h"

bool WaitNotices::due(const std::string& ticName, std::int64_t modifiedTime, std::int64_t now) {
  if (now - modifiedTime <= kDay) {
    return false;
  }
  load();
  const std::int64_t today = now / kDay;
  const auto found = earlier->find(ticName);
  const bool reported = found != earlier->end() && found->second == today;
  noted[ticName] = today;
  changed = changed || !reported;
  return !reported;
}

void WaitNotices::load() {
  if (earlier) {
    return;
  }
  earlier.emplace();
  const platform::Result<std::string> text = platform::readWholeFile(path);
  if (!text) {
    return;
  }
  // One note a line: the day number, a space, the .tic name.
  std::size_t position = 0;
  while (position < text->size()) {
    const std::string_view line = nextLine(*text, position);
    const std::size_t space = line.find(' ');
    std::int64_t day = 0;
    if (space == std::string_view::npos ||
        std::from_chars(line.data(), line.data() + space, day).ec != std::errc()) {
      continue;
    }
    (*earlier)[std::string(line.substr(space + 1))] = day;
  }
}

void WaitNotices::save() {
  if (!changed) {
    return;
  }
  std::string text;
  for (const auto& [ticName, day] : noted) {
    text += std::to_string(day) + " " + ticName + "\n";
  }
  // Notes that cannot be kept only make the report come again at the next run.
  platform::writeWhole(path, text).ignore();
  changed = false;
}
