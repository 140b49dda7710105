// The card loaded by quorhost as a plug-in from build/plugins: the manual that
// its "help" button opens lies under the renderer's home, found from the
// plug-in's own path (catches: a manual looked for elsewhere, a broken script).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "TestSupport.h"

TEST(CardHost, HelpButtonOpensTheManual) {
  testsupport::TempDir dir;
  setenv("QUOR_OPTIONS_FILE", dir.file("options").c_str(), 1);
  const std::string opened = dir.file("opened.txt"), browser = dir.file("browser.sh");
  testsupport::writeFile(browser, "#!/bin/sh\necho \"$1\" > '" + opened + "'\n");
  chmod(browser.c_str(), 0755);
  setenv("BROWSER", browser.c_str(), 1);
  const testsupport::HostRun r =
      testsupport::runHost({"--new", "QuorCard", "--press", "help"}, QUOR_BUILD_DIR "/plugins");
  unsetenv("BROWSER");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string manual = QUOR_BUILD_DIR "/doc/html/QuorCard/index.html";
  EXPECT_EQ(testsupport::readFile(opened), "file://" + manual + "\n");
  struct stat st;
  EXPECT_EQ(stat(manual.c_str(), &st), 0);
}
