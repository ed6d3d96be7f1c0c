// Test entry point for the GUI suites: a QApplication exists for the whole
// run. Listing tests needs no display.
#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

namespace {

// Under load the virtual X server now and then refuses a new connection for
// a moment, and the toolkit aborts when its own connection fails. Wait until
// a connection goes through (at most about five seconds) before creating the
// application.
void waitForDisplay() {
  for (int attempt = 0; attempt < 50; ++attempt) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const bool ok = xcb_connection_has_error(c) == 0;
    xcb_disconnect(c);
    if (ok) return;
    std::fprintf(stderr, "display not reachable, retrying\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--gtest_list_tests") == 0) listing = true;
  ::testing::InitGoogleTest(&argc, argv);
  std::unique_ptr<QApplication> app;
  if (!listing) {
    waitForDisplay();
    app = std::make_unique<QApplication>(argc, argv);
  }
  return RUN_ALL_TESTS();
}
