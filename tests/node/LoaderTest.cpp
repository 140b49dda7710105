// Loading the renderer library: its path, its environment, once only.
#include <cstdlib>

#include "CardTestSupport.h"
#include "Quor/Quor.h"
#include "render/LoadLibQuor.h"

namespace {

TEST(RendererLoader, LibraryPathAndEnvironment) {
  EXPECT_EQ(libquor::libraryPathFor("D:/apps/r/plugins/card.dll"), "D:/apps/r/bin/Quor.dll");
  EXPECT_EQ(libquor::libraryPathFor("E:/card.dll"), "bin/Quor.dll");
  EXPECT_EQ(libquor::libraryPathFor("card.dll"), "bin/Quor.dll");
  ASSERT_EQ(libquor::setEnvironmentVariable("QUORCARD_TEST_VAR", "a value"), 0);
  EXPECT_STREQ(getenv("QUORCARD_TEST_VAR"), "a value");
  ASSERT_EQ(libquor::setEnvironmentVariable("QUORCARD_TEST_VAR", nullptr), 0);
  EXPECT_EQ(getenv("QUORCARD_TEST_VAR"), nullptr);
  EXPECT_EQ(libquor::setEnvironmentVariable("A=B", "x"), -1);
}

// Runs in a fresh process, so that the loader starts uninitialised.
void firstCardsInAProcess() {
  setenv("VEVEVER_CONF", "/somewhere/else", 1);
  DD::Image::Graph graph;
  std::string error;
  graph.finish(graph.create("QuorCard", "", &error));
  if (getenv("VEVEVER_CONF")) std::exit(2);
  const char* home = getenv("VEVEVER");
  if (!home || std::string(home) != Quor_homeDir() || !*home) std::exit(3);
  unsetenv("VEVEVER");  // initialised now: a second card changes nothing
  graph.finish(graph.create("QuorCard", "", &error));
  std::exit(getenv("VEVEVER") ? 4 : 0);
}

TEST(RendererLoader, FirstCardPreparesTheEnvironmentOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(firstCardsInAProcess(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
