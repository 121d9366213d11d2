#include "tic/inbound_index.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace {

TEST(InboundIndex, FindsTheOneEntryOfAnyLetterCase) {
  test::TempDir dir;
  test::writeFile(dir / "foo.zip", "");
  test::writeFile(dir / "Twin.zip", "");
  test::writeFile(dir / "TWIN.ZIP", "");
  InboundIndex index(dir.path() + "/");
  EXPECT_EQ(index.find("FOO.ZIP"), "foo.zip");
  EXPECT_EQ(index.find("twin.zip"), "");  // two candidates: neither is guessed
  EXPECT_EQ(index.find("absent.zip"), "");
  EXPECT_EQ(index.find("foo.zi"), "");
}

}  // namespace
