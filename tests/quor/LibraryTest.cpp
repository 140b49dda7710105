// Library set-up, renderer information and the integer options.
#include <gtest/gtest.h>
#include <Quor/Quor.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// A fresh folder for each test, with the environment variables that locate
// the options file saved and restored around it.
class LibQuor : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "quor-lib-XXXXXX";
    tmp_ = ::mkdtemp(pattern.data());
    for (const char* name : {"QUOR_OPTIONS_FILE", "XDG_CONFIG_HOME", "HOME"}) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    ::setenv("QUOR_OPTIONS_FILE", (tmp_ / "config/quor/options").c_str(), 1);
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    }
    fs::remove_all(tmp_);
  }
  static std::string read(const fs::path& file) {
    std::stringstream text;
    text << std::ifstream(file).rdbuf();
    return text.str();
  }
  // Runs `body` in a child process; true when it answered true.
  template <class Body>
  static bool inChild(Body body) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body() ? 0 : 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  fs::path tmp_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(LibQuor, HomeIsTheParentOfTheLibraryFolder) {
  fs::create_directories(tmp_ / "r/bin");
  ::testing::internal::CaptureStderr();
  Quor_initPath((tmp_ / "r/bin/../bin/Quor.dll").c_str());
  EXPECT_EQ(fs::path(Quor_homeDir()), tmp_ / "r");
  EXPECT_TRUE(Quor_initQuorRenderMan());
  Quor_initPath((tmp_ / "missing/bin/Quor.dll").c_str());
  EXPECT_EQ(fs::path(Quor_homeDir()), tmp_ / "missing");
  EXPECT_FALSE(Quor_initQuorRenderMan());
  Quor_initPath(nullptr);
  EXPECT_STREQ(Quor_homeDir(), "");
  EXPECT_FALSE(Quor_initQuorRenderMan());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");  // failing is silent

  // A relative library path is taken from the current directory.
  const fs::path before = fs::current_path();
  fs::current_path(tmp_ / "r");
  const fs::path here = fs::current_path();
  Quor_initPath("bin/Quor.dll");
  fs::current_path(before);
  EXPECT_EQ(fs::path(Quor_homeDir()), here);
  EXPECT_TRUE(Quor_initQuorRenderMan());
}

TEST_F(LibQuor, RendererInfo) {
  for (const char* name : {"renderer", "versionstring"}) {
    const char* text = nullptr;
    int type = -1, count = -1;
    ASSERT_EQ(QxRendererInfo(name, &text, 8, &type, &count), 0) << name;
    ASSERT_NE(text, nullptr);
    EXPECT_GT(std::strlen(text), 0u);
    EXPECT_EQ(type, 2);  // text
    EXPECT_EQ(count, 1);
    EXPECT_EQ(QxRendererInfo(name, &text, 8, nullptr, nullptr), 0);
  }
  const char* untouched = "untouched";
  const char* result = untouched;
  EXPECT_NE(QxRendererInfo("nonsense", &result, 8, nullptr, nullptr), 0);
  EXPECT_NE(QxRendererInfo("renderer", &result, 4, nullptr, nullptr), 0);
  EXPECT_NE(QxRendererInfo(nullptr, &result, 8, nullptr, nullptr), 0);
  EXPECT_NE(QxRendererInfo("renderer", nullptr, 8, nullptr, nullptr), 0);
  EXPECT_EQ(result, untouched);
}

TEST_F(LibQuor, OptionsAreStoredAtomicallyAndSeenByOtherProcesses) {
  EXPECT_EQ(Quor_getOptionInt("Brunvik.handle_size", 5), 5);
  EXPECT_TRUE(inChild([] { return Quor_setOptionInt("Brunvik.handle_size", 17) == 0; }));
  EXPECT_EQ(Quor_getOptionInt("Brunvik.handle_size", 5), 17);
  EXPECT_EQ(Quor_setOptionInt("other", -3), 0);
  EXPECT_EQ(Quor_setOptionInt("Brunvik.handle_size", 9), 0);
  EXPECT_TRUE(inChild([] { return Quor_getOptionInt("Brunvik.handle_size", 5) == 9; }));
  EXPECT_EQ(read(tmp_ / "config/quor/options"), "Brunvik.handle_size=9\nother=-3\n");
  // No temporary file is left beside the options; the lock file stays.
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(tmp_ / "config/quor")) names.insert(entry.path().filename());
  EXPECT_EQ(names, std::set<std::string>({"options", "options.lock"}));
}

TEST_F(LibQuor, DamagedOptionLinesAreIgnoredAndKept) {
  const fs::path file = tmp_ / "config/quor/options";
  fs::create_directories(file.parent_path());
  std::ofstream(file) << "# comment\nBrunvik.handle_size = 12\ngarbage\nbad=\n=5\nx=12abc\nbig=99999999999\n"
                         "\x01\xff=1\nother=7\r\n";
  EXPECT_EQ(Quor_getOptionInt("Brunvik.handle_size", 5), 12);
  EXPECT_EQ(Quor_getOptionInt("bad", 3), 3);
  EXPECT_EQ(Quor_getOptionInt("x", 4), 4);
  EXPECT_EQ(Quor_getOptionInt("big", 1), 1);
  EXPECT_EQ(Quor_getOptionInt("other", 0), 7);
  EXPECT_EQ(Quor_setOptionInt("Brunvik.handle_size", 6), 0);
  EXPECT_EQ(read(file),
            "# comment\nBrunvik.handle_size=6\ngarbage\nbad=\n=5\nx=12abc\nbig=99999999999\n\x01\xff=1\nother=7\n");

  ::testing::internal::CaptureStderr();
  EXPECT_NE(Quor_setOptionInt("two words", 1), 0);
  EXPECT_NE(Quor_setOptionInt("a=b", 1), 0);
  EXPECT_NE(Quor_setOptionInt(nullptr, 1), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr().rfind("libQuor: ", 0), 0u);
  EXPECT_EQ(Quor_getOptionInt(nullptr, 8), 8);
}

TEST_F(LibQuor, OptionsFileLocationFromTheEnvironment) {
  ::unsetenv("QUOR_OPTIONS_FILE");
  ::setenv("XDG_CONFIG_HOME", (tmp_ / "xdg").c_str(), 1);
  ASSERT_EQ(Quor_setOptionInt("a", 1), 0);
  EXPECT_EQ(read(tmp_ / "xdg/quor/options"), "a=1\n");
  ::setenv("XDG_CONFIG_HOME", "relative/xdg", 1);  // not absolute: ignored
  ::setenv("HOME", (tmp_ / "home").c_str(), 1);
  ASSERT_EQ(Quor_setOptionInt("b", 2), 0);
  EXPECT_EQ(read(tmp_ / "home/.config/quor/options"), "b=2\n");
}

}  // namespace
