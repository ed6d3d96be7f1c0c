// Test entry point for the GUI suites: a QApplication exists for the whole
// run. Listing tests needs no display.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <dlfcn.h>
#include <memory>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define KORVANE_CHECK_LEAKS_BEFORE_EXIT 1
#endif

namespace {

// Under the leak checker, Mesa's software driver stays loaded to the end: it
// leaks a little at exit, and once unloaded its leak can no longer be told
// apart by library (scripts/sanitize.sh sets the variable).
void keepGlDriverLoaded() {
  if (!qEnvironmentVariableIsSet("KORVANE_KEEP_GL_DRIVER")) return;
  for (const char* path : {"/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", "swrast_dri.so"})
    if (dlopen(path, RTLD_NOW | RTLD_NODELETE)) return;
}

}  // namespace

int main(int argc, char** argv) {
  keepGlDriverLoaded();
  bool listing = false;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--gtest_list_tests") == 0) listing = true;
  ::testing::InitGoogleTest(&argc, argv);
  int status = 0;
  {
    // The windows' plane journals go to a folder of this run, not the user's.
    QTemporaryDir dataHome;
    if (dataHome.isValid()) qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    // So do the research window's recent files.
    QTemporaryDir configHome;
    if (configHome.isValid()) qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
    std::unique_ptr<QApplication> app;
    if (!listing) app = std::make_unique<QApplication>(argc, argv);
    status = RUN_ALL_TESTS();
  }
#ifdef KORVANE_CHECK_LEAKS_BEFORE_EXIT
  // The leak check runs here, with the application gone and every thread
  // still alive idle, rather than from an exit handler while the libraries
  // tear themselves down.
  __lsan_do_leak_check();
#endif
  return status;
}
