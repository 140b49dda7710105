// The scene as requests: RIB text read with line numbers, requests the
// renderer does not know, values it refuses, blocks and archives.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <iterator>

#include "FrameTestSupport.h"
#include "TestSupport.h"
#include "render/RibReader.h"

namespace {

using frametest::Reports;
using quor::render::FrameScene;
using quor::render::Request;

// Malformed text stops the reading with the line it is on.
TEST(Scene, MalformedRibIsAnErrorWithItsLine) {
  struct Case {
    std::string text;
    int line;
    const char* says;
  };
  const Case cases[] = {
      {"Format 64 48 1\nWorldBegin\n  Surface \"constant\nWorldEnd\n", 3, "never closed"},
      {"Format 64 48 1\nColor [1 0 0\nWorldBegin\n", 3, "request name inside an array"},
      {"Format 64 48 1.5.5\n", 1, "not a number"},
      {"Format 64 48 1\nScreenWindow -1 1\n-nan 1\n", 3, "\"-nan\" is not a number"},
      {"Format 64 48 +inf\n", 1, "\"+inf\" is not a number"},
      {"Format 64\n48 1e99 1\n", 2, "out of range"},
      {"# a comment\n[1 2]\nFormat 64 48 1\n", 2, "before the first request"},
      {"Color [[1 0 0]]\n", 1, "arrays cannot hold arrays"},
      {"Color [1 \"a\" 0]\n", 1, "not both"},
      {"WorldBegin\nWorldEnd ]\n", 2, "without '['"},
      {"Format 64 48 1\n\n\nWorld\x90"
       "Begin\n",
       4, "unexpected character"},
      {"Format 64 48 1\n\n\n\x90\n", 4, "binary RIB"},
  };
  for (const Case& c : cases) {
    std::vector<Request> requests;
    std::string error;
    ASSERT_FALSE(quor::render::parseRib(c.text, "scene.rib", requests, error)) << c.text;
    EXPECT_EQ(error.rfind("scene.rib:" + std::to_string(c.line) + ": ", 0), 0u) << error;
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
  }
  // Strings keep their escapes (an octal one takes at most three digits),
  // numbers their forms, requests their lines (a line break inside a string
  // counts too, also one that a backslash continues).
  std::vector<Request> requests;
  std::string error;
  ASSERT_TRUE(quor::render::parseRib(
      "##RenderMan RIB\nDeclare \"a\\\"b\\n\\101\\0612\" \"-.5e1\nx\\\ny\"\n\nFormat 1 +2. -.5\n", "x.rib", requests,
      error))
      << error;
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].where, "x.rib:2");
  EXPECT_EQ(requests[0].args[0].strings[0], "a\"b\nA12");
  EXPECT_EQ(requests[0].args[1].strings[0], "-.5e1\nxy");
  EXPECT_EQ(requests[1].where, "x.rib:6");
  EXPECT_EQ(requests[1].args[1].numbers[0], 2.0f);
  EXPECT_EQ(requests[1].args[2].numbers[0], -0.5f);
}

std::string repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

const std::string kCamera = "Format 8 8 1\nProjection \"orthographic\"\n";
const std::string kCard =
    "PatchMesh \"bilinear\" 2 \"nonperiodic\" 2 \"nonperiodic\" \"P\" [0 0 1 1 0 1 0 1 1 1 1 1]\n";

// Requests, options, attributes and parameters that other tools write and
// the renderer does not use: one warning for each, naming it with the line of
// its first use, and the frame renders.
TEST(Scene, RequestsTheRendererDoesNotUseAreWarnedOnce) {
  // Each line after the camera's two, and the start of its warning.
  const std::pair<const char*, const char*> lines[] = {
      {"Option \"limits\" \"bucketsize\" [16 16]", "Option: option \"limits\" \"bucketsize\""},
      {"Hider \"hidden\" \"jitter\" [0]", "Hider"},
      {"Shutter 0 1", "Shutter"},
      {"WorldBegin", nullptr},
      {"ShadingRate 1", "ShadingRate"},
      {"ShadingInterpolation \"smooth\"", "ShadingInterpolation"},
      {"Attribute \"displacementbound\" \"sphere\" [0]", "Attribute: attribute \"displacementbound\" \"sphere\""},
      {"Attribute \"tool\" \"mark\" [3]", "Attribute: unknown parameter \"mark\""},
      {"TrimCurve", "unknown request \"TrimCurve\""},
      {"ShadingRate 2", nullptr},  // warned already
      {"TrimCurve", nullptr},
      {"Attribute \"tool\" \"mark\" [3]", nullptr},
  };
  std::string rib = kCamera;
  std::vector<std::string> expected;
  for (std::size_t i = 0; i < std::size(lines); ++i) {
    rib += lines[i].first + std::string("\n");
    if (lines[i].second) expected.push_back("scene.rib:" + std::to_string(i + 3) + ": " + lines[i].second);
  }
  Reports reports;
  EXPECT_EQ(frametest::render(rib + kCard + "WorldEnd\n", reports).width, 8);
  EXPECT_TRUE(reports.errors.empty()) << reports.all();
  ASSERT_EQ(reports.warnings.size(), expected.size()) << reports.all();
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(reports.warnings[i].rfind(expected[i], 0), 0u) << reports.warnings[i];
}

// Values the renderer refuses, and blocks that do not balance: an error
// naming the request and its line, and no frame. (Without a Format, the
// picture is 640 x 480, checked but not rendered here.) The rules that
// libQuor's calls share, written or rendered, are the library test's.
TEST(Scene, BadValuesAndUnbalancedBlocksLeaveNoPicture) {
  const std::string world = "WorldBegin\n" + kCard + "WorldEnd\n";
  const std::pair<std::string, const char*> cases[] = {
      {"Format 40000 10 1\n" + world, "at most 32768 pixels a side"},
      {"Format 10000 10000 1\n" + world, "67108864 pixels in all"},
      {"Projection \"perspective\" \"fov\" [0]\n" + world, "between 0 and 180"},
      {"Projection \"perspective\" \"fov\" [180]\n" + world, "between 0 and 180"},
      {"Projection \"fisheye\"\n" + world, "unknown projection"},
      {"PixelSamples 0 2\n" + world, "pixel samples"},
      {"PixelFilter \"sinc\" 0 2\n" + world, "filter widths must be positive"},
      {"Display \"x.tif\" \"file\" \"z\"\n" + world, "unknown display mode"},
      {"WorldBegin\nFormat 8 8 1\n" + kCard + "WorldEnd\n", "scene.rib:2: Format: options can only be given before"},
      {"WorldBegin\nBasis \"bent\" 1 \"bezier\" 3\nWorldEnd\n", "unknown basis"},
      {"WorldBegin\nSurface \"matte\" \"Kd\"\nWorldEnd\n", "parameter \"Kd\" has no value"},
      {"WorldBegin\nShadingRate 0\nWorldEnd\n", "scene.rib:2: ShadingRate: the shading rate must be positive"},
      {"WorldBegin\nPatchMesh \"bilinear\" 2 \"nonperiodic\" 2 \"nonperiodic\" \"P\" [0 0 1 1 0 1]\nWorldEnd\n",
       "parameter \"P\" needs 12 value(s), not 6"},
      {"WorldBegin\nPatchMesh \"bicubic\" 5 \"nonperiodic\" 4 \"nonperiodic\" \"P\" [0 0 0]\nWorldEnd\n", "nu = 5"},
      {"WorldBegin\nPatchMesh \"bilinear\" 2 \"nonperiodic\" 2 \"nonperiodic\" \"s\" [0 0 0 0]\nWorldEnd\n",
       "no \"P\", \"Pw\" or \"Pz\""},
      {kCard + world, "scene.rib:1: PatchMesh: only allowed between WorldBegin"},
      {"WorldBegin\nAttributeEnd\nWorldEnd\n", "scene.rib:2: AttributeEnd: no open AttributeBegin"},
      {"WorldBegin\nAttributeBegin\nTransformBegin\n" + kCard + "WorldEnd\n",
       "left open inside the world: TransformBegin (scene.rib:3), AttributeBegin (scene.rib:2)"},
      {"WorldBegin\nAttributeBegin\nTransformEnd\nAttributeEnd\n" + world,
       "scene.rib:3: TransformEnd: no open TransformBegin to close (the innermost block is AttributeBegin "
       "(scene.rib:2))"},
      {"WorldBegin\n" + repeat("TransformBegin\n", 5) + world.substr(11),
       "left open inside the world: TransformBegin (scene.rib:6), TransformBegin (scene.rib:5), TransformBegin "
       "(scene.rib:4), TransformBegin (scene.rib:3), and 1 more\n"},
      {"WorldBegin\n" + repeat("TransformBegin\n", 10001) + "TransformEnd\n" + world.substr(11),
       "scene.rib:10001: TransformBegin: more than 10000 blocks open at once"},
      {"WorldBegin\n" + repeat("AttributeBegin\n", 1000000),
       "blocks left open: WorldBegin (scene.rib:1), AttributeBegin (scene.rib:2), AttributeBegin (scene.rib:3), "
       "AttributeBegin (scene.rib:4), and 999997 more\n"},
      {"WorldBegin\nWorldBegin\nWorldEnd\n", "WorldBegin inside a world"},
      {"WorldBegin\n" + kCard, "blocks left open: WorldBegin (scene.rib:1)"},
      {"ArchiveBegin \"a\"\n" + world, "blocks left open: ArchiveBegin (scene.rib:1)"},
      {"WorldBegin\nReadArchive \"nowhere\"\nWorldEnd\n", "no archive \"nowhere\""},
      {"WorldBegin\nReadArchive \".\"\nWorldEnd\n", "cannot read \".\": not a file"},
  };
  for (const auto& [rib, says] : cases) {
    Reports reports;
    EXPECT_FALSE(frametest::frameOf(rib, reports)) << rib;
    EXPECT_NE(reports.all().find(says), std::string::npos) << "expected \"" << says << "\" in\n" << reports.all();
  }
}

// Archives that read archives several times: the frame's replays stop at the
// first bound they meet, with one error naming the archive's line, and the
// reads after it are counted in one more error, not reported one by one; an
// error that replays repeat is shown once and counted. Mistakes: only the
// depth bounded (the fan-out of ten runs for 2 x 10^7 replays), replays
// going on after the bound, each skipped read or repeat reported.
TEST(Scene, ArchivesThatMultiplyStopAtTheirFirstError) {
  testsupport::TempDir dir;
  const std::string twice = dir.file("twice.rib");
  testsupport::writeFile(twice, "Color [1 0 0]\nReadArchive \"" + twice + "\"\nReadArchive \"" + twice + "\"\n");
  std::string fan;  // a0 reads a1 ten times, ..., a6 reads a7
  for (int level = 6; level >= 0; --level)
    fan += "ArchiveBegin \"a" + std::to_string(level) + "\"\n" +
           repeat("ReadArchive \"a" + std::to_string(level + 1) + "\"\n", 10) + "ArchiveEnd\n";
  const std::string self = "ArchiveBegin \"a\"\nReadArchive \"a\"\nReadArchive \"a\"\nArchiveEnd\n";
  // A scene and the start of each of its errors, in order.
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {self + "WorldBegin\nReadArchive \"a\"\nReadArchive \"a\"\nReadArchive \"a\"\nWorldEnd\n",
       {"scene.rib:2: ReadArchive: archives read archives more than 64 deep",
        "scene.rib:9: WorldEnd: skipped 2 more ReadArchive request(s)", "scene.rib:9: WorldEnd: no picture"}},
      {"WorldBegin\nReadArchive \"" + twice + "\"\nWorldEnd\n",
       {twice + ":2: ReadArchive: archives read archives more than 64 deep", "scene.rib:3: WorldEnd: no picture"}},
      {"ArchiveBegin \"a\"\nSides 3\nArchiveEnd\nWorldBegin\n" + repeat("ReadArchive \"a\"\n", 3) + "WorldEnd\n",
       {"scene.rib:2: Sides: sides must be 1 or 2", "scene.rib:8: WorldEnd: no picture: the frame had 3 error(s)"}},
      {fan + "ArchiveBegin \"a7\"\nArchiveEnd\nWorldBegin\nReadArchive \"a0\"\nWorldEnd\n",
       {"scene.rib:22: ReadArchive: reading archive \"a6\" would replay more than 100000 requests",
        "scene.rib:89: WorldEnd: no picture"}},
  };
  for (const auto& [rib, errors] : cases) {
    Reports reports;
    EXPECT_FALSE(frametest::frameOf(rib, reports));
    ASSERT_EQ(reports.errors.size(), errors.size()) << reports.all();
    for (std::size_t i = 0; i < errors.size(); ++i)
      EXPECT_EQ(reports.errors[i].rfind(errors[i], 0), 0u) << reports.errors[i];
  }
}

std::unique_ptr<FrameScene> frame(const std::string& world, Reports& reports) {
  return frametest::frameOf(kCamera + "WorldBegin\n" + world + "WorldEnd\n", reports);
}

// Attribute blocks restore every attribute, transform blocks only the
// transformation; archives run where they are read, not where they are
// defined, and may be RIB files.
TEST(Scene, BlocksAndArchivesKeepTheirState) {
  testsupport::TempDir dir;
  const std::string file = dir.file("green.rib");
  testsupport::writeFile(file, "Color [0 1 0]\nTranslate 0 0 7\n");
  Reports reports;
  const auto f =
      frame("ArchiveBegin \"dull\"\n  Surface \"matte\" \"Kd\" [0.25]\n  Color [0 0 1]\nArchiveEnd\n" + kCard +
                "AttributeBegin\n  Color [1 0 0]\n  TransformBegin\n    Translate 5 0 0\n    Color [1 1 0]\n"
                "  TransformEnd\n" +
                kCard + "  ReadArchive \"dull\"\n" + kCard + "AttributeEnd\n" + kCard + "ReadArchive \"" + file +
                "\"\n" + kCard + "version 3.04\n",
            reports);
  ASSERT_TRUE(f) << reports.all();
  ASSERT_EQ(f->meshes.size(), 5u);
  // Defining the archive changed nothing. Inside the attribute block, the
  // colour set inside the transform block stays, the translation does not.
  // After it, all is as before; the file's archive applies its colour and
  // its translation.
  const std::array<float, 5> expected[] = {// the colour, and the translation's x and z
                                           {1, 1, 1, 0, 0},
                                           {1, 1, 0, 0, 0},
                                           {0, 0, 1, 0, 0},
                                           {1, 1, 1, 0, 0},
                                           {0, 1, 0, 0, 7}};
  for (std::size_t i = 0; i < 5; ++i) {
    const quor::render::PatchMeshData& m = f->meshes[i];
    const quor::render::Vec3& c = m.material->color;
    EXPECT_EQ((std::array<float, 5>{c.x, c.y, c.z, m.objectToCamera.m[3][0], m.objectToCamera.m[3][2]}), expected[i])
        << i;
    // The default surface, but for the archive's matte.
    EXPECT_EQ(m.material->surface.type == quor::render::SurfaceShader::Type::Default, i != 2) << i;
  }
  EXPECT_EQ(f->meshes[2].material->surface.kd, 0.25f);
}

// Transformations compose as the renderer applies them: the last given
// first. Rotate turns x toward y about z.
TEST(Scene, TransformationsComposeLastGivenFirst) {
  Reports reports;
  const auto f =
      frame("Translate 10 0 0\nRotate 90 0 0 1\nScale 2 2 2\n" + kCard +
                "Identity\nConcatTransform [1 0 0 0 0 1 0 0 0 0 1 0 0 0 3 1]\nTransform [1 0 0 0 0 1 0 0 0 0 "
                "1 0 5 0 0 1]\nConcatTransform [2 0 0 0 0 2 0 0 0 0 2 0 0 0 0 1]\n" +
                kCard,
            reports);
  ASSERT_TRUE(f) << reports.all();
  // Corner (1, 0, 1): scaled to (2, 0, 2), turned to (0, 2, 2), moved to
  // (10, 2, 2).
  // Transform replaces what came before; then the scale applies first:
  // (2, 0, 2), moved to (7, 0, 2).
  const float expected[2][3] = {{10, 2, 2}, {7, 0, 2}};
  for (int i = 0; i < 2; ++i) {
    const quor::render::Vec3 a = quor::render::transformPoint({1, 0, 1}, f->meshes[i].objectToCamera);
    EXPECT_TRUE(std::hypot(a.x - expected[i][0], a.y - expected[i][1], a.z - expected[i][2]) < 1e-5) << i;
  }
}

}  // namespace
