#include <memory>

#include "app/toss_app.h"

// The command line is ignored: every setting comes from quenfar.cfg beside the program.
int main() {
  const auto app = std::make_unique<TossApp>();
  app->run();
  return 0;
}
