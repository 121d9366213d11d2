// System facts and directory listing over the Win32 API.
#include "platform/system.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "platform/directory.h"
#include "platform/win32/windows_version.h"
#include "tests/platform/win32/scratch_dir.h"
#include "util/text.h"

namespace {

TEST(Win32System, VersionNamesAWindowsFamily) {
  const platform::SystemName system = platform::systemName();
  EXPECT_TRUE(system.windows);
  EXPECT_TRUE(system.name.rfind("NT ", 0) == 0 || system.name.rfind("9", 0) == 0) << system.name;
  EXPECT_EQ(platform::moverFamily(), platform::moverFamilyOf(platform::queryWindowsVersion()));
}

TEST(Win32System, EachFamilyInTheProgramsWords) {
  struct Case {
    std::uint32_t platformId, major, minor, build;
    const char* servicePack;
    const char* name;
    const char* buildWords;
    platform::MoverFamily mover;
  };
  const Case cases[] = {
      {2, 4, 0, 1381, "Service Pack 6", "NT 4.0", "1381 Service Pack 6", platform::MoverFamily::nt},
      {2, 10, 0, 19045, "", "NT 10.0", "19045 ", platform::MoverFamily::nt},
      {1, 4, 10, 2222, " A ", "98  A ", "", platform::MoverFamily::win9x},
      {1, 4, 0, 950, "", "95 ", "", platform::MoverFamily::win9x},
      {0, 0, 0, 0, "", "", "", platform::MoverFamily::nt},  // the version could not be asked
  };
  for (const Case& c : cases) {
    const platform::WindowsVersion version{c.platformId, c.major, c.minor, c.build, c.servicePack};
    const platform::SystemName system = platform::systemNameOf(version);
    EXPECT_TRUE(system.windows);
    EXPECT_EQ(system.name, c.name);
    EXPECT_EQ(system.build, c.buildWords) << c.name;
    EXPECT_EQ(platform::moverFamilyOf(version), c.mover) << c.name;
  }
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
