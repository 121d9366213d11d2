// The readable rendering of a stored message that msgdump prints.
#include "announce/message_dump.h"

#include <gtest/gtest.h>

TEST(MsgDump, ShowsHeaderFieldsAndBodyWithVisibleControlBytes) {
  std::string header = std::string("Quenfar Herald") + std::string(130, '\0') + "01 Jan 70";
  header.resize(190, '\0');
  header[174] = '\x9c';  // destNet 5020
  header[175] = '\x13';
  header[186] = '\x01';  // Private, Local
  header[187] = '\x01';
  std::string text;
  ASSERT_TRUE(dumpStoredMessage(header + "\x01INTL\r\nca\xe9\t\\\r\n" + '\0', text));
  for (const char* part :
       {"From        : Quenfar Herald\nTo          : \n", "Date        : 01 Jan 70\n",
        "Dest        : 5020/0\n", "Attribute   : 0x0101 Private Local\n",
        "--- body, 15 bytes\n^AINTL\nca\\xe9^I\\\\\n--- end: final zero byte\n"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << "\nin\n" << text;
  }
  ASSERT_TRUE(dumpStoredMessage(header + "a\rb", text));
  EXPECT_NE(text.find("\na^Mb\n--- end: no final zero byte\n"), std::string::npos) << text;
  EXPECT_FALSE(dumpStoredMessage(header.substr(1), text));
}
