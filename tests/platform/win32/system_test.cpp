// System facts and directory listing over the Win32 API.
#include "platform/system.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "platform/directory.h"
#include "tests/platform/win32/scratch_dir.h"
#include "util/text.h"

namespace {

TEST(Win32System, VersionNamesAWindowsFamilyAndNoKernel) {
  const platform::OsVersionInfo version = platform::queryOsVersion();
  EXPECT_TRUE(version.dwPlatformId == platform::kPlatformNt ||
              version.dwPlatformId == platform::kPlatformWin9x);
  EXPECT_GT(version.dwMajorVersion, 0U);
  EXPECT_TRUE(version.systemName.empty());
}

TEST(Win32System, ProgramPathIsTheFullPathOfThisExecutable) {
  const std::string path = platform::programFilePath();
  EXPECT_EQ(path.substr(path.size() - 4), ".exe");
  EXPECT_EQ(std::filesystem::path(path).is_absolute(), true) << path;
}

TEST(Win32System, AbsolutePathResolvesAgainstTheCurrentDirectory) {
  const std::string current = std::filesystem::current_path().string();
  EXPECT_EQ(platform::absolutePath("in\\.\\x.tic"), current + "\\in\\x.tic");
  EXPECT_EQ(platform::absolutePath("in/"), current + "\\in\\");
  EXPECT_EQ(platform::absolutePath(""), current);
}

TEST(Win32System, EnvironmentNamesIgnoreLetterCase) {
  EXPECT_EQ(platform::environment("comspec"), platform::environment("COMSPEC"));
  EXPECT_TRUE(platform::environment("ComSpec").has_value());
  EXPECT_FALSE(platform::environment("QUENFAR_SURELY_UNSET").has_value());
}

TEST(Win32System, TimesUseEnglishNames) {
  // Noon UTC on 15 June 2023 is the 15th in every time zone.
  const std::string text = platform::formatLocalTime("%A, %d %B %Y", 1686830400);
  EXPECT_EQ(text, "Thursday, 15 June 2023");
  EXPECT_EQ(platform::toConsoleCharset("Nothing to toss"), "Nothing to toss");
}

TEST(Win32Directory, ListsEveryEntryButDotAndDotDot) {
  wintest::ScratchDir dir;
  wintest::writeFile(dir / "A.TIC", "");
  wintest::writeFile(dir / "b.zip", "");
  std::filesystem::create_directory(dir / "sub");
  for (const std::string& path : {dir.path(), dir.path() + "\\"}) {
    platform::DirectorySearch search(path);
    std::string name;
    std::set<std::string> names;
    while (search.next(name)) {
      EXPECT_TRUE(names.insert(name).second) << name;
    }
    EXPECT_EQ(names, (std::set<std::string>{"A.TIC", "b.zip", "sub"})) << path;
  }
  std::string name;
  EXPECT_FALSE(platform::DirectorySearch(dir / "missing").next(name));
  EXPECT_TRUE(endsWithIgnoringCase("A.TIC", ".tic"));
  EXPECT_FALSE(endsWithIgnoringCase("tic", ".tic"));
}

}  // namespace
