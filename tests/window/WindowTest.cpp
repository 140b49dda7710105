// quorhost --window under Xvfb, driven by real X events from xdotool. Each
// test starts its own X server. The window writes a snapshot when it gets
// F12 (--snapshot): the viewer's picture and a listing of what the panel
// shows, with where; since the window takes events in order, a snapshot
// that has appeared also tells that every event sent before it was handled.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>

#include "TestSupport.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A slow, loaded machine may take long to start a server or draw a frame.
const auto kPatience = std::chrono::seconds(90);
const std::string kPlugins = QUOR_BUILD_DIR "/plugins";

// The viewer size of the edit test; the panel, 380 wide, is beside it.
const int kViewerWidth = 1000, kViewerHeight = 800;

// ---- processes -------------------------------------------------------------------

// A child process, killed and waited for when it goes out of scope.
class Child {
 public:
  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() { stop(); }

  // Starts argv[0] (searched on PATH); fd `extraFd` of the child, if not
  // -1, is `extraTarget` of this process. Output goes to `log`.
  bool start(const std::vector<std::string>& args, const std::string& log, int extraTarget = -1, int extraFd = -1) {
    std::vector<std::string> all = args;
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (extraTarget >= 0) posix_spawn_file_actions_adddup2(&actions, extraTarget, extraFd);
    const int started = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) pid_ = -1;
    return started == 0;
  }
  bool running() {
    if (pid_ <= 0) return false;
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == 0) return true;
    if (r == pid_) status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
    return false;
  }
  // Waits for the exit; its status, or -2 when it is still running.
  int wait(std::chrono::seconds patience) {
    const auto end = Clock::now() + patience;
    while (running()) {
      if (Clock::now() > end) return -2;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return status_;
  }
  void stop() {
    if (!running()) return;
    kill(pid_, SIGTERM);
    if (wait(std::chrono::seconds(10)) == -2) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

// ---- pictures and snapshots ---------------------------------------------------------

using Picture = testsupport::Image8;
using testsupport::readImage8;

// The pixels whose colour differs between two pictures of one size.
size_t differentPixels(const Picture& a, const Picture& b) {
  if (a.width != b.width || a.height != b.height) return static_cast<size_t>(-1);
  size_t n = 0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x)
      if (std::memcmp(a.at(x, y), b.at(x, y), 3) != 0) ++n;
  return n;
}

// The viewer's background is (0.2, 0.2, 0.2): 51 of 255.
size_t drawnPixels(const Picture& p) {
  size_t n = 0;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      if (p.at(x, y)[0] != 51 || p.at(x, y)[1] != 51 || p.at(x, y)[2] != 51) ++n;
  return n;
}

struct Item {
  std::string kind, name, value;
  float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  int centreX() const { return static_cast<int>((x0 + x1) / 2); }
  int centreY() const { return static_cast<int>((y0 + y1) / 2); }
};

struct Snapshot {
  std::map<std::string, std::vector<std::string>> lines;  // first field -> the other fields
  std::vector<Item> items;
  std::string base;

  // The items after the first of `kind` named `name`.
  std::vector<Item> after(const std::string& kind, const std::string& name) const {
    for (size_t i = 0; i < items.size(); ++i)
      if (items[i].kind == kind && items[i].name == name) return std::vector<Item>(items.begin() + i + 1, items.end());
    return {};
  }
  const Item* find(const std::string& kind, const std::string& name, const char* value = nullptr) const {
    for (const Item& i : items)
      if (i.kind == kind && i.name == name && (!value || i.value == value)) return &i;
    return nullptr;
  }
};

// ---- the X server and the window ---------------------------------------------------------

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = dir_.file("log.txt");
    // The window remembers its size in the user's configuration folder; each
    // test sets it, and DISPLAY, afresh.
    setenv("XDG_CONFIG_HOME", dir_.file("config").c_str(), 1);
    fs::copy_file(QUOR_SOURCE_DIR "/examples/card.json", dir_.file("card.json"));
    fs::copy_file(QUOR_SOURCE_DIR "/examples/card.json", dir_.file("orig.json"));
    fs::copy_file(QUOR_SOURCE_DIR "/examples/checker.png", dir_.file("checker.png"));
    startServer();
  }

  void TearDown() override {
    window_.stop();
    server_.stop();
    if (HasFailure()) std::cerr << "log of the run:\n" << testsupport::readFile(log_);
  }

  // Xvfb picks a free display and writes its number on the pipe once it
  // takes clients.
  void startServer() {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const bool started =
        server_.start({"Xvfb", "-displayfd", "3", "-screen", "0", "1600x1000x24", "-nolisten", "tcp"}, log_, fds[1], 3);
    close(fds[1]);
    if (!started) close(fds[0]);
    ASSERT_TRUE(started) << "Xvfb does not start (scripts/install-deps installs it)";
    std::string number;
    const auto end = Clock::now() + kPatience;
    while (number.find('\n') == std::string::npos && Clock::now() < end) {
      pollfd p{fds[0], POLLIN, 0};
      if (poll(&p, 1, 200) <= 0) continue;
      char c[16];
      const ssize_t n = read(fds[0], c, sizeof c);
      if (n <= 0) break;
      number.append(c, static_cast<size_t>(n));
    }
    close(fds[0]);
    ASSERT_NE(number.find('\n'), std::string::npos) << "Xvfb named no display";
    setenv("DISPLAY", (":" + number.substr(0, number.find('\n'))).c_str(), 1);
  }

  // quorhost with `args` (the script card.json first), its window found.
  void openWindow(const std::vector<std::string>& args) {
    std::vector<std::string> all{testsupport::kHost, "--plugin-path", kPlugins, dir_.file("card.json")};
    all.insert(all.end(), args.begin(), args.end());
    ASSERT_TRUE(window_.start(all, log_));
    const auto end = Clock::now() + kPatience;
    while (id_.empty() && Clock::now() < end) {
      ASSERT_TRUE(window_.running()) << "quorhost ended before its window showed";
      // Until the window shows, the search finds nothing and fails.
      id_ = xdo({"search", "--onlyvisible", "--name", "^quorhost"}, true);
      id_ = id_.substr(0, id_.find('\n'));
      if (id_.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ASSERT_FALSE(id_.empty()) << "no window showed";
    xdo({"windowfocus", id_});
  }

  // Runs xdotool and answers its output; the test fails when it does not
  // exit with 0, unless `mayFail`.
  std::string xdo(const std::vector<std::string>& args, bool mayFail = false) {
    std::vector<std::string> all{"xdotool"};
    all.insert(all.end(), args.begin(), args.end());
    const testsupport::HostRun run = testsupport::runCommand(all);
    if (run.status != 0 && !mayFail)
      ADD_FAILURE() << "xdotool " << args[0] << " exited with " << run.status << ": " << run.out << run.err;
    return run.out;
  }
  // Pointer actions at window pixels.
  void moveTo(int x, int y) { xdo({"mousemove", "--window", id_, std::to_string(x), std::to_string(y)}); }
  void click(int x, int y) {
    moveTo(x, y);
    xdo({"click", "1"});
  }
  void key(const std::string& keys) { xdo({"key", keys}); }
  // Presses `button` at the first point, moves through the others and lets go at the last.
  void drag(int button, const std::vector<std::pair<int, int>>& path) {
    moveTo(path[0].first, path[0].second);
    xdo({"mousedown", std::to_string(button)});
    for (const auto& [x, y] : path) moveTo(x, y);
    xdo({"mouseup", std::to_string(button)});
  }
  // Clicks the middle of the snapshot's item; false when it has none such.
  bool clickOn(const Snapshot& s, const std::string& kind, const std::string& name) {
    const Item* item = s.find(kind, name);
    if (item) click(item->centreX(), item->centreY());
    return item != nullptr;
  }
  // Replaces the text of the field that has the keyboard.
  void typeOver(const std::string& text) {
    key("ctrl+a");
    xdo({"type", text});
  }

  // Presses F12 and reads the snapshot it writes.
  Snapshot snapshot() {
    key("F12");
    Snapshot s;
    s.base = dir_.file("snap-" + std::to_string(++snapshots_));
    const auto end = Clock::now() + kPatience;
    while (!fs::exists(s.base + ".txt") && Clock::now() < end) {
      if (!window_.running()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::stringstream text(testsupport::readFile(s.base + ".txt"));
    if (text.str().empty()) ADD_FAILURE() << "no snapshot " << s.base;
    for (std::string line; std::getline(text, line);) {
      std::vector<std::string> f;
      std::stringstream fields(line);
      for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
      if (f.empty()) continue;
      if (f[0] == "item" && f.size() == 8) {
        s.items.push_back(Item{f[1], f[2], f[3], std::stof(f[4]), std::stof(f[5]), std::stof(f[6]), std::stof(f[7])});
      } else {
        s.lines[f[0]] = std::vector<std::string>(f.begin() + 1, f.end());
      }
    }
    return s;
  }

  // Snapshots until the render that runs has ended.
  Snapshot renderedSnapshot() {
    const auto end = Clock::now() + kPatience;
    Snapshot s = snapshot();
    while (s.lines["rendering"].size() == 2 && s.lines["rendering"][0] == "1" && Clock::now() < end) s = snapshot();
    EXPECT_EQ(s.lines["rendering"], (std::vector<std::string>{"0", "0"}));
    return s;
  }

  // A run of quorhost without a window, on a fresh copy of the example.
  void reference(const std::vector<std::string>& args) {
    std::vector<std::string> all{dir_.file("orig.json")};
    all.insert(all.end(), args.begin(), args.end());
    const testsupport::HostRun r = testsupport::runHost(all, kPlugins);
    EXPECT_EQ(r.status, 0) << r.err;
  }

  // The values of a knob's x, y and z fields in a snapshot.
  static std::vector<double> fields(const Snapshot& s, const std::string& knob) {
    std::vector<double> values(3, NAN);
    for (const Item& i : s.items)
      if (i.name == knob && i.kind.size() == 1 && i.kind[0] >= 'x' && i.kind[0] <= 'z')
        values[static_cast<size_t>(i.kind[0] - 'x')] = std::stod(i.value);
    return values;
  }

  static std::string cpstr(const std::string& script) {
    const nlohmann::json j = nlohmann::json::parse(testsupport::readFile(script), nullptr, false);
    if (j.is_discarded()) return "(not a script)";
    for (const auto& n : j["nodes"])
      if (n["name"] == "QuorCard1") return n["knobs"].value("cpstr", std::string("(none)"));
    return "(no card)";
  }

  testsupport::TempDir dir_;
  std::string log_;
  Child server_, window_;
  std::string id_;
  int snapshots_ = 0;
};

// Where the example card's first point, (-0.5, -0.5, 0) under an Axis turned
// 15 degrees about y, shows in a 1000 x 800 viewer: at (-0.5 cos 15, -0.5,
// 0.5 sin 15) = (-0.482963, -0.5, 0.129410), 2.370590 in front of the eye;
// tan 15 = 0.267949, aspect 1.25:
//   x = (1 - 0.482963 / 2.370590 / (0.267949 * 1.25)) / 2 * 1000 = 195.87
//   y = (1 + 0.5 / 2.370590 / 0.267949) / 2 * 800 = 714.86
// The pointer at pixel (195, 714) sits at (195.5, 714.5), within the pick
// square.
const int kPointX = 195, kPointY = 714;

// The road of an edit through real events, with a --view before the window
// and one after it (back off-screen).
TEST_F(WindowTest, EditsThroughRealEvents) {
  const std::string size = "1000x800";
  // --info reads the image, --view makes its texture off-screen: the window
  // must make it again in its own context.
  ASSERT_NO_FATAL_FAILURE(openWindow({"--node", "Read1", "--info", "--node", "QuorCard1", "--select", "--size", size,
                                      "--view", dir_.file("before.png"), "--window", "--snapshot", dir_.file("snap"),
                                      "--view", dir_.file("after.png")}));
  moveTo(kViewerWidth / 2, kViewerHeight / 2);

  // The window draws the viewer where --view draws it, textures and all.
  Snapshot first = snapshot();
  EXPECT_EQ(first.lines["viewer"], (std::vector<std::string>{"1000", "800"}));
  reference({"--node", "QuorCard1", "--select", "--view", dir_.file("ref-view.png"), "--size", size});
  const Picture window = readImage8(first.base + ".png"), view = readImage8(dir_.file("ref-view.png"));
  EXPECT_GT(drawnPixels(view), static_cast<size_t>(kViewerWidth * kViewerHeight / 4));
  EXPECT_EQ(differentPixels(window, view), 0u);

  // A press on the card's first point shows its knobs under "delimiter".
  click(kPointX, kPointY);
  Snapshot picked = snapshot();
  const std::vector<Item> points = picked.after("separator", "delimiter");
  ASSERT_GE(points.size(), 4u);
  EXPECT_EQ(points[0].kind + " " + points[0].value, "caption col/row 0, 0");
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(points[i + 1].kind + " " + points[i + 1].name, std::string(1, "xyz"[i]) + " control_point.0.0");
  EXPECT_EQ(points[1].value, "-0.5");

  // A drag moves it as --click and --drag at the same pixels do, and its
  // "right" and "up" handles by the same offset; Ctrl+S writes the script.
  const int toX = kPointX + 40, toY = kPointY - 30;
  drag(1, {{kPointX, kPointY}, {kPointX + 10, kPointY - 5}, {kPointX + 30, kPointY - 20}, {toX, toY}});
  key("ctrl+s");
  Snapshot dragged = snapshot();
  const std::string x = std::to_string(kPointX), y = std::to_string(kPointY);
  const testsupport::HostRun ref =
      testsupport::runHost({dir_.file("orig.json"), "--node", "QuorCard1", "--select", "--size", size, "--click", x, y,
                            "--drag", x, y, std::to_string(toX), std::to_string(toY), "--knobs"},
                           kPlugins);
  const size_t line = ref.out.find("control_point.0.0\t");
  ASSERT_NE(line, std::string::npos) << ref.out << ref.err;
  std::vector<double> want(3);
  ASSERT_EQ(std::sscanf(ref.out.c_str() + line, "control_point.0.0\t%*d\t%lf,%lf,%lf", &want[0], &want[1], &want[2]),
            3);
  const std::vector<double> from = fields(picked, "control_point.0.0"), to = fields(dragged, "control_point.0.0");
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(to[c], want[c], 1e-6) << "the window's drag differs";
  for (const char* handle : {"control_point.0.0.2", "control_point.0.0.3"})
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR(fields(dragged, handle)[c] - fields(picked, handle)[c], to[c] - from[c], 1e-6) << handle;
  reference(
      {"--node", "QuorCard1", "--select", "--size", size, "--click", x, y, "--save", dir_.file("ref-click.json")});

  // Ctrl+Z puts the point and its handles back.
  key("ctrl+z");
  key("ctrl+s");
  Snapshot undone = snapshot();
  EXPECT_TRUE(cpstr(dir_.file("card.json")) == cpstr(dir_.file("ref-click.json"))) << "the point is not back";
  EXPECT_EQ(undone.lines["dirty"], std::vector<std::string>{"0"});

  // A tumble turns the picture, not the script: a save writes the same text
  // (into a new file renamed into place).
  const std::string saved = testsupport::readFile(dir_.file("card.json"));
  struct stat before {};
  ASSERT_EQ(stat(dir_.file("card.json").c_str(), &before), 0);
  drag(2, {{500, 400}, {540, 410}, {580, 430}});
  key("ctrl+s");
  Snapshot turned = snapshot();
  struct stat after {};
  ASSERT_EQ(stat(dir_.file("card.json").c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino) << "Ctrl+S wrote nothing";
  EXPECT_EQ(testsupport::readFile(dir_.file("card.json")), saved);
  EXPECT_GT(differentPixels(readImage8(turned.base + ".png"), readImage8(undone.base + ".png")),
            static_cast<size_t>(kViewerWidth * kViewerHeight / 20));
  EXPECT_NE(turned.lines["camera"].at(0), "0");

  // A number typed into "x/y points" makes a 6 x 4 grid.
  const Item* xPoints = turned.find("number", "x_points");
  ASSERT_NE(xPoints, nullptr);
  ASSERT_LT(xPoints->y1, kViewerHeight - 30) << "the field is out of sight";
  click(xPoints->centreX(), xPoints->centreY());
  typeOver("6");
  // Ctrl+S while the field is typed in sets what was typed, then saves.
  key("ctrl+s");
  Snapshot six = snapshot();
  ASSERT_NE(six.find("number", "x_points"), nullptr);
  EXPECT_EQ(six.find("number", "x_points")->value, "6");

  // Closing with unsaved changes asks first; Esc keeps the window, "Don't
  // save" closes it without saving.
  key("ctrl+z");
  key("ctrl+q");
  Snapshot asked = snapshot();
  ASSERT_NE(asked.find("popup", "Unsaved changes"), nullptr);
  key("Escape");
  Snapshot kept = snapshot();
  EXPECT_EQ(kept.find("popup", "Unsaved changes"), nullptr);
  EXPECT_TRUE(window_.running());
  key("ctrl+q");
  Snapshot again = snapshot();
  ASSERT_TRUE(clickOn(again, "popup-button", "Don't save"));
  EXPECT_EQ(window_.wait(kPatience), 0);
  EXPECT_NE(testsupport::readFile(dir_.file("card.json")).find("\"x_points\": 6"), std::string::npos);

  // The --view after the window draws off-screen again what the window
  // showed last, the camera turned and the card textured.
  EXPECT_EQ(differentPixels(readImage8(dir_.file("after.png")), readImage8(again.base + ".png")), 0u);
}

// "Render" renders the scene at the viewer's framing into a second view;
// "Save render…" writes it. The view shows the picture --render makes, over
// the viewer's background; "Viewer" switches back, and the script has not
// changed. Resizing then gives the viewer the window's size less the panel,
// drawn as --view draws at that size: undistorted. A click in the node list
// makes that node current and selects it; a file that cannot be read, typed
// into its file field, shows the node's error.
TEST_F(WindowTest, RenderViewResizeNodeListAndAFileThatCannotBeRead) {
  ASSERT_NO_FATAL_FAILURE(openWindow({"--size", "400x300", "--window", "--snapshot", dir_.file("snap")}));
  moveTo(100, 100);
  Snapshot s = snapshot();
  ASSERT_NE(s.find("tool", "Save render\u2026"), nullptr);
  EXPECT_EQ(s.find("tool", "Save render\u2026")->value, "disabled");
  ASSERT_TRUE(clickOn(s, "tool", "Render"));
  Snapshot rendered = renderedSnapshot();
  EXPECT_EQ(rendered.lines["view"], std::vector<std::string>{"render"});
  EXPECT_EQ(rendered.lines["render"], (std::vector<std::string>{"400", "300"}));

  // The path field has the keyboard and Enter saves; a folder that is not
  // there keeps the question, with the path as typed and the reason.
  ASSERT_TRUE(clickOn(rendered, "tool", "Save render\u2026"));
  typeOver(dir_.file("no/saved.png"));
  key("Return");
  Snapshot refused = snapshot();
  ASSERT_NE(refused.find("popup-error", "Save render"), nullptr);
  ASSERT_NE(refused.find("path", ""), nullptr);
  EXPECT_EQ(refused.find("path", "")->value, dir_.file("no/saved.png"));
  typeOver(dir_.file("saved.png"));
  key("Return");
  Snapshot saved = snapshot();
  EXPECT_EQ(saved.find("popup", "Save render"), nullptr);
  ASSERT_TRUE(fs::exists(dir_.file("saved.png"))) << saved.find("message", "")->value;
  // Saving over it asks first; "Replace" writes it again.
  struct stat first {};
  ASSERT_EQ(stat(dir_.file("saved.png").c_str(), &first), 0);
  ASSERT_TRUE(clickOn(saved, "tool", "Save render\u2026"));
  Snapshot again = snapshot();
  ASSERT_TRUE(clickOn(again, "path", ""));
  typeOver(dir_.file("saved.png"));
  ASSERT_TRUE(clickOn(again, "popup-button", "Save"));
  // The question grows to its new text a frame later, centred anew.
  snapshot();
  Snapshot replace = snapshot();
  ASSERT_NE(replace.find("popup-button", "Replace"), nullptr);
  ASSERT_TRUE(clickOn(replace, "popup-button", "Replace"));
  snapshot();
  struct stat second {};
  ASSERT_EQ(stat(dir_.file("saved.png").c_str(), &second), 0);
  EXPECT_NE(first.st_ino, second.st_ino) << "not written again";

  reference({"--size", "400x300", "--render", dir_.file("ref.png")});
  const Picture ref = readImage8(dir_.file("ref.png")), file = readImage8(dir_.file("saved.png"));
  EXPECT_EQ(file.rgba, ref.rgba);
  // The view: the render's colours, weighted by its alpha, over 51 grey.
  const Picture view = readImage8(rendered.base + ".png");
  ASSERT_EQ(view.width, 400);
  ASSERT_EQ(view.height, 300);
  size_t off = 0, opaque = 0;
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 400; ++x) {
      const unsigned char* r = ref.at(x, y);
      opaque += r[3] == 255;
      for (int c = 0; c < 3; ++c) {
        const double expected = r[c] * r[3] / 255.0 + 51 * (1 - r[3] / 255.0);
        if (std::fabs(view.at(x, y)[c] - expected) > 2) ++off;
      }
    }
  EXPECT_EQ(off, 0u);
  EXPECT_GT(opaque, 400u * 300 / 4);

  ASSERT_TRUE(clickOn(saved, "view", "Viewer"));
  Snapshot back = snapshot();
  EXPECT_EQ(back.lines["view"], std::vector<std::string>{"viewer"});
  EXPECT_EQ(back.lines["dirty"], std::vector<std::string>{"0"});

  xdo({"windowsize", id_, "1080", "760"});
  moveTo(100, 100);
  Snapshot resized = snapshot();
  EXPECT_EQ(resized.lines["viewer"], (std::vector<std::string>{"700", "760"}));
  reference({"--size", "700x760", "--view", dir_.file("ref-view.png")});
  EXPECT_EQ(differentPixels(readImage8(resized.base + ".png"), readImage8(dir_.file("ref-view.png"))), 0u);
  EXPECT_EQ(resized.lines["current"], std::vector<std::string>{"QuorCard1"});
  ASSERT_TRUE(clickOn(resized, "node", "Read1"));
  Snapshot chosen = snapshot();
  EXPECT_EQ(chosen.lines["current"], std::vector<std::string>{"Read1"});
  ASSERT_NE(chosen.find("node-selected", "Read1"), nullptr);
  EXPECT_EQ(chosen.find("node-selected", "Read1")->value, "1");
  EXPECT_EQ(chosen.find("error", "Read1"), nullptr);
  ASSERT_TRUE(clickOn(chosen, "file", "file"));
  typeOver(dir_.file("missing.png"));
  key("Return");
  Snapshot failed = snapshot();
  const Item* error = failed.find("error", "Read1");
  ASSERT_NE(error, nullptr);
  EXPECT_NE(error->value.find("cannot read"), std::string::npos) << error->value;
  EXPECT_NE(error->value.find("missing.png"), std::string::npos) << error->value;
}

// A smooth 3 x 3 card, seen head-on in a 1000 x 800 viewer, its right
// middle point moved in from (0.5, 0) to (0.3, 0); its handles stay, at
// (0.5, -1/6) and (0.5, 1/6). Pixel row 250 (its centre at 250.5) lies at
// y = (1 - 250.5 / 400) tan 15 * 2.5 = 0.25121. There the net's right edge,
// the segment from (0.3, 0) to (0.5, 0.5), is at x = 0.3 + 0.4 y = 0.40048;
// the surface's edge is the Catmull-Rom span from (0.5, 1/6) to (0.5, 1/3)
// after (0.3, 0): y = (1 + t) / 6, so t = 0.50726, and
// x = 0.5 + 0.1 t (1 - t)^2 = 0.51232. A point at x shows at pixel
// (1 + x / (2.5 tan 15 * 1.25)) * 500: the net ends at 739.1, the surface at
// 805.9. Pixels 755 to 790 of the row show the background without the
// preview and the surface with it; 720 shows the card and 830 the
// background either way.
TEST_F(WindowTest, TheFinalSurfaceIsSmoothWhereTheNetIsAngular) {
  const testsupport::HostRun made =
      testsupport::runHost({"--new", "QuorCard", "--set", "x_points", "3", "--set", "y_points", "3", "--set", "type",
                            "smooth", "--set", "control_point.2.1", "0.3,0,0", "--save", dir_.file("card.json")},
                           kPlugins);
  ASSERT_EQ(made.status, 0) << made.err;
  ASSERT_NO_FATAL_FAILURE(openWindow({"--size", "1000x800", "--window", "--snapshot", dir_.file("snap")}));
  moveTo(500, 700);
  const Picture net = readImage8(snapshot().base + ".png");
  key("p");
  const Picture surface = readImage8(snapshot().base + ".png");
  const auto background = [](const Picture& p, int x) { return std::memcmp(p.at(x, 250), "\x33\x33\x33", 3) == 0; };
  EXPECT_FALSE(background(net, 720) || background(surface, 720));
  EXPECT_TRUE(background(net, 830) && background(surface, 830));
  for (int x = 755; x <= 790; ++x) EXPECT_TRUE(background(net, x) && !background(surface, x)) << "pixel " << x;
  key("p");
  EXPECT_EQ(differentPixels(readImage8(snapshot().base + ".png"), net), 0u);
}

// A render started shows its progress and "Cancel", which stops it; the
// window goes on. The card is dense (192 x 192 points, bicubic), so that
// its render lasts seconds, well beyond the snapshot taken while it runs.
TEST_F(WindowTest, ARenderCanBeCancelled) {
  const testsupport::HostRun made =
      testsupport::runHost({"--new", "QuorCard", "--set", "x_points", "192", "--set", "y_points", "192", "--set",
                            "type", "smooth", "--save", dir_.file("card.json")},
                           kPlugins);
  ASSERT_EQ(made.status, 0) << made.err;
  ASSERT_NO_FATAL_FAILURE(openWindow({"--size", "1000x800", "--window", "--snapshot", dir_.file("snap")}));
  moveTo(500, 700);
  const Picture net = readImage8(snapshot().base + ".png");
  ASSERT_TRUE(clickOn(snapshot(), "tool", "Render"));
  Snapshot running = snapshot();
  EXPECT_EQ(running.lines["rendering"].at(0), "1");
  ASSERT_NE(running.find("render-progress", ""), nullptr);
  EXPECT_LT(std::stod(running.find("render-progress", "")->value), 1);
  ASSERT_TRUE(clickOn(running, "render-cancel", "Cancel"));
  Snapshot stopped = renderedSnapshot();
  EXPECT_EQ(stopped.find("message", "")->value, "render cancelled");
  EXPECT_EQ(stopped.lines["render"], (std::vector<std::string>{"0", "0"}));
  EXPECT_NE(stopped.find("tool", "Render"), nullptr);
  EXPECT_EQ(differentPixels(readImage8(snapshot().base + ".png"), net), 0u);
}

// The panel as a host lays it out, with the size an earlier run left: "x/y
// points" and "y_points" share a row, where the empty label of the second
// shows nothing; a knob's tooltip shows on hover; a drag across a number
// field scrubs it, and the wheel and the arrow keys over it nudge it, from
// what was being typed into it. A Read added from the
// window takes its file from the folder's list and goes on the card's
// "img" input through that input's menu. Closing remembers the size.
TEST_F(WindowTest, ARowOfTwoKnobsATooltipScrubbingAndAReadConnected) {
  fs::create_directories(dir_.file("config/quorhost"));
  std::ofstream(dir_.file("config/quorhost/window")) << "size 1300 900\n";
  ASSERT_NO_FATAL_FAILURE(openWindow({"--node", "QuorCard1", "--window", "--snapshot", dir_.file("snap")}));
  moveTo(100, 100);
  Snapshot s = snapshot();
  EXPECT_EQ(s.lines["window"], (std::vector<std::string>{"1300", "900"}));
  const Item *x = s.find("number", "x_points"), *y = s.find("number", "y_points");
  ASSERT_TRUE(x && y);
  EXPECT_EQ(x->y0, y->y0);
  EXPECT_GT(y->x0, x->x1);
  ASSERT_NE(s.find("caption", "x_points"), nullptr);
  EXPECT_EQ(s.find("caption", "y_points"), nullptr);

  ASSERT_NE(s.find("checkbox", "flip_uvs"), nullptr);
  moveTo(s.find("checkbox", "flip_uvs")->centreX(), s.find("checkbox", "flip_uvs")->centreY());
  Snapshot hovered = snapshot();
  ASSERT_NE(hovered.find("tooltip", "flip_uvs"), nullptr);
  EXPECT_EQ(hovered.find("tooltip", "flip_uvs")->value,
            "Mirror the u coordinate.\\nThis flips the mapped image horizontally.");

  // 30 pixels at 5 a step: 4 becomes 10.
  drag(1, {{x->centreX(), x->centreY()}, {x->centreX() + 10, x->centreY()}, {x->centreX() + 30, x->centreY()}});
  moveTo(y->centreX(), y->centreY());
  xdo({"click", "4"});
  xdo({"click", "4"});
  key("Down");
  Snapshot nudged = snapshot();
  EXPECT_EQ(nudged.find("number", "x_points")->value, "10");
  EXPECT_EQ(nudged.find("number", "y_points")->value, "5");
  EXPECT_EQ(nudged.lines["history"], (std::vector<std::string>{"4", "0"}));
  // Typing: Left moves the caret, Up commits " 17 " (a knob takes the
  // spaces) and nudges from it, one step that one undo takes back.
  ASSERT_TRUE(clickOn(nudged, "number", "y_points"));
  typeOver("7 ");
  key("Left");
  key("Left");
  xdo({"type", " 1"});
  key("Up");
  nudged = snapshot();
  EXPECT_EQ(nudged.find("number", "y_points")->value, "18");
  EXPECT_EQ(nudged.lines["history"], (std::vector<std::string>{"5", "0"}));
  key("ctrl+z");
  EXPECT_EQ(snapshot().find("number", "y_points")->value, "5");
  ASSERT_TRUE(clickOn(nudged, "number", "y_points"));
  typeOver("a");
  key("Up");  // no number: the text stays as typed, nothing is set
  EXPECT_EQ(snapshot().find("number", "y_points")->value, "a");
  key("Escape");

  ASSERT_TRUE(clickOn(nudged, "add", "Read"));
  Snapshot added = snapshot();
  EXPECT_EQ(added.lines["current"], std::vector<std::string>{"Read2"});
  ASSERT_TRUE(clickOn(added, "file-list", "file"));
  const Snapshot listed = snapshot();
  const Item* checker = listed.find("file-choice", "file", dir_.file("checker.png").c_str());
  ASSERT_NE(checker, nullptr);
  click(checker->centreX(), checker->centreY());
  ASSERT_TRUE(clickOn(snapshot(), "node", "QuorCard1"));
  ASSERT_TRUE(clickOn(snapshot(), "input", "img"));
  const Snapshot menu = snapshot();
  const Item* read2 = menu.find("input-choice", "img", "Read2");
  ASSERT_NE(read2, nullptr);
  click(read2->centreX(), read2->centreY());
  key("ctrl+s");
  snapshot();
  const nlohmann::json saved = nlohmann::json::parse(testsupport::readFile(dir_.file("card.json")));
  for (const auto& n : saved["nodes"]) {
    if (n["name"] == "QuorCard1") {
      EXPECT_EQ(n["inputs"][1], "Read2");
    } else if (n["name"] == "Read2") {
      EXPECT_EQ(fs::path(n["knobs"].value("file", "")).filename(), "checker.png");
    }
  }
  xdo({"windowsize", id_, "1200", "800"});
  key("ctrl+q");
  EXPECT_EQ(window_.wait(kPatience), 0);
  EXPECT_EQ(testsupport::readFile(dir_.file("config/quorhost/window")), "size 1200 800\n");
}

}  // namespace
