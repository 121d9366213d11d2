// The Windows platform tests. Besides running them, the program serves as the command that the
// process tests start through cmd.exe:
//   --write-args FILE ARGS...  writes each ARG into FILE as "[ARG]" on a line of its own;
//   --sleep                    sleeps for five seconds, far past the tests' time limit.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "--write-args" && argc > 2) {
    std::ofstream out(argv[2], std::ios::binary);
    for (int i = 3; i < argc; ++i) {
      out << '[' << argv[i] << "]\n";
    }
    return 0;
  }
  if (mode == "--sleep") {
    std::this_thread::sleep_for(std::chrono::seconds(5));
    return 0;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
