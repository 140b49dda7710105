// The commands: quorrender on RIB files, quorhost --render against
// quorrender on the scene that --rib writes, and the texture cache.
#include <gtest/gtest.h>

#include <OpenImageIO/imageio.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "FrameTestSupport.h"
#include "Quor/Quor.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;
using frametest::Picture;
using testsupport::HostRun;

const std::string kScene =
    "Display \"out.png\" \"file\" \"rgba\"\nFormat 8 8 1\nProjection \"orthographic\"\nScreenWindow 0 8 0 8\n"
    "WorldBegin\nSurface \"constant\"\n"
    "PatchMesh \"bilinear\" 2 \"nonperiodic\" 2 \"nonperiodic\" \"P\" [0 0 1 4 0 1 0 8 1 4 8 1]\nWorldEnd\n";

TEST(Quorrender, RendersTheDisplaysFileOrTheOneGiven) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir.file("scene.rib"), "Option \"statistics\" \"integer endofframe\" [1]\n" + kScene);
  HostRun r = testsupport::runCommand({frametest::kQuorrender, "scene.rib"}, dir.path().string());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("warning: scene.rib:1: Option: option \"statistics\""), std::string::npos) << r.err;
  const Picture p = frametest::readPicture(dir.file("out.png"));
  ASSERT_EQ(p.width, 8);
  EXPECT_FLOAT_EQ(p.at(1, 3, 3), 1);
  EXPECT_FLOAT_EQ(p.at(6, 3, 3), 0);
  r = testsupport::runCommand({frametest::kQuorrender, dir.file("scene.rib"), "-o", dir.file("other.exr")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(frametest::readPicture(dir.file("other.exr")).format, "float");
  // A frame with an error fails the run, though a later one renders.
  testsupport::writeFile(dir.file("two.rib"), "FrameBegin 1\nFormat 8 0 1\nFrameEnd\n" + kScene);
  EXPECT_EQ(testsupport::runCommand({frametest::kQuorrender, "two.rib"}, dir.path().string()).status, 1);

  const std::string& q = frametest::kQuorrender;
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {q}, {q, "-x", "scene.rib"}, {q, "scene.rib", "-o"}, {q, "a.rib", "b.rib"}})
    EXPECT_EQ(testsupport::runCommand(bad, dir.path().string()).status, 2) << bad.size();
}

// Malformed RIB, an error in the frame, a file that is not there: exit
// status 1, the reason on standard error, and no picture, not even a part
// of one. A picture already there stays as it was.
TEST(Quorrender, FailuresWriteNoPicture) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir.file("out.png"), "an older picture");
  const std::string display = "Display \"out.png\" \"file\" \"rgba\"\nFormat 8 8 1\n";
  const std::pair<std::string, const char*> cases[] = {
      {"Format 8 8 1\nWorldBegin\nColor [1 0 0\nWorldEnd\n", "scene.rib:4: a request name inside an array"},
      {display + "Format 8 0 1\nWorldBegin\nWorldEnd\n", "scene.rib:3: Format"},
      {display + "WorldBegin\nAttributeBegin\nWorldEnd\n", "blocks left open inside the world"},
      {display + "WorldBegin\nAttributeBegin\n",
       "scene.rib:4: the scene ends with blocks left open: WorldBegin (scene.rib:3), AttributeBegin (scene.rib:4)"},
      {display, "no WorldBegin/WorldEnd"},
  };
  for (const auto& [rib, says] : cases) {
    testsupport::writeFile(dir.file("scene.rib"), rib);
    const HostRun r = testsupport::runCommand({frametest::kQuorrender, "scene.rib"}, dir.path().string());
    EXPECT_EQ(r.status, 1) << rib;
    EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    EXPECT_EQ(testsupport::readFile(dir.file("out.png")), "an older picture");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"out.png", "scene.rib"}));
  }
  const HostRun missing = testsupport::runCommand({frametest::kQuorrender, dir.file("none.rib")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("none.rib"), std::string::npos) << missing.err;
}

// A square image whose every channel has one value: 64 x 64 grey unless told.
std::string writeImage(const testsupport::TempDir& dir, int size = 64, unsigned char value = 128) {
  const std::string file = dir.file("grey.png");
  EXPECT_TRUE(testsupport::writePng(file, size, size, std::vector<unsigned char>(std::size_t(size) * size * 4, value)));
  return file;
}

// quorrender on the scene that --rib writes gives the picture that --render
// gives: the same scene, the same texture, the same renderer.
TEST(Quorhost, RenderGivesThePictureQuorrenderMakesOfTheRib) {
  testsupport::TempDir dir;
  const HostRun host = testsupport::runHost({QUOR_SOURCE_DIR "/examples/card.json", "--size", "160x120", "--rib",
                                             dir.file("card.rib"), "--render", dir.file("host.png")},
                                            frametest::kPlugins);
  ASSERT_EQ(host.status, 0) << host.err;
  // The scene names the texture made beside it.
  const std::string rib = testsupport::readFile(dir.file("card.rib"));
  EXPECT_NE(rib.find("\"texturename\" [\"" + dir.file("checker.tex") + "\"]"), std::string::npos) << rib;
  const HostRun r =
      testsupport::runCommand({frametest::kQuorrender, "card.rib", "-o", "quorrender.png"}, dir.path().string());
  ASSERT_EQ(r.status, 0) << r.err;
  const Picture a = frametest::readPicture(dir.file("host.png")),
                b = frametest::readPicture(dir.file("quorrender.png"));
  ASSERT_EQ(a.width, 160);
  ASSERT_EQ(a.height, 120);
  EXPECT_TRUE(a.values == b.values);
  // The textured card is there: its middle is opaque and not grey.
  EXPECT_FLOAT_EQ(a.at(80, 60, 3), 1);
  EXPECT_FLOAT_EQ(a.at(2, 2, 3), 0);
}

// --render refuses what it cannot write, and names the image whose texture
// it cannot make; no picture is left.
TEST(Quorhost, RenderFailuresLeaveNoPicture) {
  testsupport::TempDir dir;
  const std::string image = writeImage(dir);
  const std::vector<std::string> scene{"--new", "Read",     "--set",     "file", image,
                                       "--new", "QuorCard", "--connect", "img",  "Read1"};
  const auto render = [&](const std::string& out) {
    std::vector<std::string> args = scene;
    args.insert(args.end(), {"--render", out});
    return testsupport::runHost(args, frametest::kPlugins);
  };
  HostRun r = render(dir.file("picture.jpg"));
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("picture format"), std::string::npos) << r.err;
  r = render(dir.file("nowhere/picture.png"));
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("no folder"), std::string::npos) << r.err;
  // A texture cache that cannot be made: a file stands where its folder
  // should be.
  testsupport::writeFile(dir.file("blocked"), "");
  setenv("QUOR_TEXTURE_CACHE", dir.file("blocked/cache").c_str(), 1);
  r = render(dir.file("picture.png"));
  unsetenv("QUOR_TEXTURE_CACHE");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find(image), std::string::npos) << r.err;
  EXPECT_EQ(dir.list(), (std::vector<std::string>{"blocked", "grey.png"}));
}

// Textures are tiled MIP-mapped TIFF files in the cache or where asked,
// made once and made again when the image changes.
TEST(TextureCache, MadeOnceAndAgainWhenTheImageChanges) {
  testsupport::TempDir dir;
  setenv("QUOR_TEXTURE_CACHE", dir.file("cache").c_str(), 1);
  const std::string image = writeImage(dir);
  char texture[4096];
  ASSERT_EQ(QxMakeTexture(image.c_str(), nullptr, texture, sizeof texture), 0) << texture;
  EXPECT_EQ(fs::path(texture).parent_path(), fs::path(dir.file("cache")));
  auto in = OIIO::ImageInput::open(texture);
  ASSERT_TRUE(in);
  EXPECT_STREQ(in->format_name(), "tiff");
  EXPECT_EQ(in->spec().tile_width, 64);
  OIIO::ImageSpec level;
  EXPECT_TRUE(in->seek_subimage(0, 6, level));  // 64, 32, ..., 1: seven levels
  EXPECT_EQ(level.width, 1);
  const auto made = fs::last_write_time(texture);
  char again[4096];
  ASSERT_EQ(QxMakeTexture(image.c_str(), "", again, sizeof again), 0);
  EXPECT_STREQ(again, texture);
  EXPECT_EQ(fs::last_write_time(texture), made);
  // A new image under the same name.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(writeImage(dir, 4, 255), image);  // white, 4 x 4
  ASSERT_EQ(QxMakeTexture(image.c_str(), nullptr, again, sizeof again), 0);
  EXPECT_STREQ(again, texture);
  EXPECT_EQ(frametest::readPicture(texture).width, 4);
  // Where the caller asks; never over the image itself.
  ASSERT_EQ(QxMakeTexture(image.c_str(), dir.file("here/q.tex").c_str(), again, sizeof again), 0) << again;
  EXPECT_EQ(std::string(again), dir.file("here/q.tex"));
  EXPECT_NE(QxMakeTexture(image.c_str(), image.c_str(), again, sizeof again), 0);
  EXPECT_EQ(frametest::readPicture(image).width, 4);
  // No image: the reason, naming it.
  EXPECT_NE(QxMakeTexture(dir.file("none.png").c_str(), nullptr, again, sizeof again), 0);
  EXPECT_NE(std::string(again).find("none.png"), std::string::npos) << again;
  unsetenv("QUOR_TEXTURE_CACHE");
}

}  // namespace
