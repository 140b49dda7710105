// Light and surfaces: the standard shaders' formulas, checked on the centre
// pixel of a small card, and which side of a card is seen.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <sstream>

#include "FrameTestSupport.h"
#include "TestSupport.h"

namespace {

using frametest::Picture;
using frametest::Reports;

const double kPi = 3.14159265358979323846;

// A 16 x 16 card centred on pixel (10, 10) of a 20 x 20 raster camera, at
// depth `z`, turned `degrees` about the vertical axis.
std::string tiltedCard(double degrees, double z = 5) {
  std::ostringstream s;
  s << "TransformBegin\nTranslate 10 10 " << z << "\nRotate " << degrees << " 0 1 0\n"
    << frametest::bilinearPatch({-8, -8, 0, 8, -8, 0, -8, 8, 0, 8, 8, 0}) << "TransformEnd\n";
  return s.str();
}

// The centre pixel's colour and alpha.
std::vector<float> centre(const std::string& world, Reports& reports) {
  const Picture p =
      frametest::render(frametest::rasterCamera(20, 20, 4) + "WorldBegin\n" + world + "WorldEnd\n", reports);
  if (p.width == 0) return {};
  return {p.at(10, 10, 0), p.at(10, 10, 1), p.at(10, 10, 2), p.at(10, 10, 3)};
}

// A light travelling away from the camera, down +z.
const std::string kHeadLight = "LightSource \"distantlight\" 1 \"from\" [0 0 0] \"to\" [0 0 1]\n";

TEST(Shading, LightSourcesAddUpSurfacesAndOpacity) {
  testsupport::TempDir dir;
  // 32 x 32 texels whose red rises by 8 / 255 a column and green by 8 / 255
  // a row (so do every MIP level's), blue flat at 51 / 255 = 0.2.
  std::vector<unsigned char> ramp;
  for (int i = 0; i < 32 * 32; ++i)
    ramp.insert(ramp.end(), {std::uint8_t(i % 32 * 8), std::uint8_t(i / 32 * 8), 51, 255});
  ASSERT_TRUE(testsupport::writePng(dir.file("ramp.png"), 32, 32, ramp));
  const std::string painted = kHeadLight + "Surface \"paintedplastic\" \"Kd\" [1] \"Ks\" [0] \"texturename\" ";
  struct Case {
    const char* name;
    std::string world;
    float r, g, b, a = 1;
  };
  const double c40 = std::cos(40 * kPi / 180);
  const auto matte = [](const std::string& lights, double degrees = 0, double z = 5) {
    return lights + "Surface \"matte\"\n" + tiltedCard(degrees, z);
  };
  // A spotlight over the centre pixel, aimed `tanOff` of the way across for
  // each unit of depth, lighting a card 20 away: 400 / 20^2 on the axis.
  const auto spot = [](const char* tanOff, const std::string& params = "") {
    return "LightSource \"spotlight\" 1 \"from\" [10.5 9.5 0] \"to\" [" + std::string(tanOff) +
           " 9.5 1] \"intensity\" [400]" + params + "\nSurface \"matte\"\n" + tiltedCard(0, 20);
  };
  const std::string front = "Color [1 0 0]\nOpacity [0.5 0.5 0.5]\n" + tiltedCard(0, 1);
  const Case cases[] = {
      // Ka times the ambient light, plus Kd times the cosine.
      {"ambient",
       kHeadLight + "LightSource \"ambientlight\" 2 \"intensity\" [0.25]\nSurface \"matte\" \"Ka\" [0.5]\n" +
           tiltedCard(40),
       float(0.125 + c40), float(0.125 + c40), float(0.125 + c40)},
      {"light colour",
       matte("LightSource \"distantlight\" 1 \"lightcolor\" [1 0.5 0.25] \"intensity\" [2] \"to\" [0 0 1]\n"), 2, 1,
       0.5},
      // A point light falls off with the square of the distance: 800 / 20^2
      // over the centre pixel (x 10 to 11, y 9 to 10).
      {"point light", matte("LightSource \"pointlight\" 1 \"from\" [10.5 9.5 0] \"intensity\" [800]\n", 0, 20), 2, 2,
       2},
      // A light behind the card lights only its far side.
      {"light behind", matte("LightSource \"distantlight\" 1 \"to\" [0 0 -1]\n"), 0, 0, 0},
      // A light turned off after its block, and Color.
      {"block",
       "AttributeBegin\n" + kHeadLight + "AttributeEnd\nColor [1 0 0]\nSurface \"matte\" \"Ka\" [0]\n" + tiltedCard(0),
       0, 0, 0},
      // Matte seen from behind: the normal turned toward the eye.
      {"matte seen from behind at 150 degrees", matte(kHeadLight, 150), 0.86603f, 0.86603f, 0.86603f},
      {"colour", matte(kHeadLight + "Color [1 0.5 0]\n"), 1, 0.5, 0},
      // Plastic adds Ks times (N.H)^(8 / roughness) in the specular colour:
      // with the light at the eye the half vector is the view direction, 8
      // (then 10) degrees off the normal. 0.5 cos 8 + 0.5 cos^80 8, and
      // cos^32 10.
      {"plastic", kHeadLight + "Surface \"plastic\"\n" + tiltedCard(8), 0.72380f, 0.72380f, 0.72380f},
      // paintedplastic multiplies the diffuse colour by its texture, looked
      // up where the pixel's centre falls: x = 10.5 on the card from x = 2 to
      // 18 is s = 0.53125, texel 16.5, 132 / 255; y = 9.5 from y = 2 upward is
      // t = 0.46875, whose texel row counted from the image's top is 14.5,
      // 116 / 255 (from its bottom: 132 / 255).
      {"painted", painted + "[\"" + dir.file("ramp.png") + "\"]\n" + tiltedCard(0), 132 / 255.0f, 116 / 255.0f, 0.2f},
      // A texture that cannot be read leaves the surface untextured.
      {"painted without its texture", painted + "[\"missing.tex\"]\n" + tiltedCard(0), 1, 1, 1},
      {"red highlight",
       kHeadLight + "Surface \"plastic\" \"Kd\" [0] \"Ks\" [1] \"roughness\" [0.25] \"specularcolor\" [1 0 0]\n" +
           tiltedCard(10),
       0.61270f, 0, 0},
      // The spotlight: cos^beamdistribution of the angle off its axis, times
      // smoothstep(cos coneangle, cos(coneangle - conedeltaangle), cos).
      {"spot on its axis", spot("10.5"), 1, 1, 1},
      {"spot 20 degrees off", spot("10.86397"), 0.88302f, 0.88302f, 0.88302f},
      {"spot 27.5 degrees off, in the cone's edge", spot("11.02057"), 0.41811f, 0.41811f, 0.41811f},
      {"spot 31 degrees off, outside", spot("11.10086"), 0, 0, 0},
      {"spot 20 degrees off, beam 8", spot("10.86397", " \"beamdistribution\" [8]"), 0.60798f, 0.60798f, 0.60798f},
      {"spot 12 degrees off, cone 15 fading over 10",
       spot("10.71256", " \"coneangle\" [0.2617994] \"conedeltaangle\" [0.1745329]"), 0.34199f, 0.34199f, 0.34199f},
      // Constant: Os * Cs, premultiplied; a partly transparent card shows
      // the one behind it.
      {"half opaque", "Surface \"constant\"\n" + front, 0.5, 0, 0, 0.5},
      // Ambient lights add up: Ka 1 times 0.25 + 0.25.
      {"two ambient lights",
       "LightSource \"ambientlight\" 1 \"intensity\" [0.25]\nLightSource \"ambientlight\" 2 \"intensity\" [0.25]\n"
       "Surface \"matte\" \"Ka\" [1]\n" +
           tiltedCard(0),
       0.5, 0.5, 0.5},
      {"half opaque over green",
       "Surface \"constant\"\n" + front + "Color [0 1 0]\nOpacity [1 1 1]\n" + tiltedCard(0, 2), 0.5, 0.5, 0, 1},
  };
  for (const Case& c : cases) {
    Reports reports;
    const std::vector<float> v = centre(c.world, reports);
    ASSERT_EQ(v.size(), 4u) << c.name << "\n" << reports.all();
    EXPECT_NEAR(v[0], c.r, 3e-3) << c.name;
    EXPECT_NEAR(v[1], c.g, 3e-3) << c.name;
    EXPECT_NEAR(v[2], c.b, 3e-3) << c.name;
    EXPECT_NEAR(v[3], c.a, 1e-6) << c.name;
  }
}

// Which side of a card is seen. The card's corners go right along u and up
// along v, as the QuorCard emits them, in a world mirrored into camera space
// as quorhost's camera does: its front faces +z, toward the camera.
TEST(Shading, SidesOrientationAndDoubleShading) {
  const std::string card = frametest::bilinearPatch({-0.5f, -0.5f, 0, 0.5f, -0.5f, 0, -0.5f, 0.5f, 0, 0.5f, 0.5f, 0});
  const std::string turned = "Rotate 180 0 1 0\n";
  struct Case {
    const char* name;
    std::string attributes;
    float alpha;
    const char* view = "Scale 1 1 -1\nTranslate 0 0 -2.5\n";  // the world mirrored
  };
  const Case cases[] = {
      {"one side, facing", "Sides 1\n", 1},
      {"one side, turned away", "Sides 1\n" + turned, 0},
      {"two sides, turned away", "Sides 2\n" + turned, 1},
      {"one side, reversed", "Sides 1\nReverseOrientation\n", 0},
      {"one side, reversed and turned away", "Sides 1\nReverseOrientation\n" + turned, 1},
      {"one side, double shaded, turned away", "Sides 1\nAttribute \"sides\" \"doubleshaded\" [1]\n" + turned, 1},
      // A mirror flips the coordinate system and the orientation with it:
      // the card keeps its outside.
      {"one side, mirrored", "Sides 1\nScale -1 1 1\n", 1},
      {"one side, inside out", "Sides 1\nOrientation \"inside\"\n", 0},
      // In camera space itself, left-handed, the same corners turn the other
      // way: the card faces away unless its orientation is right-handed.
      {"one side, camera space", "Sides 1\n", 0, "Translate 0 0 2.5\n"},
      {"one side, camera space, right-handed", "Sides 1\nOrientation \"rh\"\n", 1, "Translate 0 0 2.5\n"},
  };
  for (const Case& c : cases) {
    const Picture p =
        frametest::render("Format 20 20 1\nProjection \"perspective\" \"fov\" [30]\n" + std::string(c.view) +
                          "WorldBegin\nSurface \"constant\"\n" + c.attributes + card + "WorldEnd\n");
    ASSERT_GT(p.width, 0) << c.name;
    EXPECT_FLOAT_EQ(p.at(10, 10, 3), c.alpha) << c.name;
  }
}

}  // namespace
