#include "grid/ControlGrid.h"

#include <cmath>
#include <limits>

#include "GridTestSupport.h"

using namespace quorcard;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

// Checks a default grid of n x m points on a w x h card against the
// closed-form positions of its points and handles.
void expectDefaultGrid(const PointList& g, int n, int m, float w, float h)
{
    ASSERT_EQ(g.size(), static_cast<std::size_t>(n * m));
    const double sx = 1.0 / (n - 1), sy = 1.0 / (m - 1);
    const int dir[4][2] = {{-1, 0}, {0, -1}, {1, 0}, {0, 1}};
    for (int i = 0; i < n * m; ++i) {
        const VtxPoint& p = g[static_cast<std::size_t>(i)];
        const int c = i % n, r = i / n;
        const double x = (c * sx - 0.5) * w, y = (r * sy - 0.5) * h;
        const double want[8] = {x, y, 0, c * sx, 1 - r * sy, 0, 0, 1};
        const float got[8] = {p.pos[0], p.pos[1], p.pos[2], p.uv[0], p.uv[1],
                              p.normal[0], p.normal[1], p.normal[2]};
        for (int k = 0; k < 8; ++k)
            EXPECT_NEAR(got[k], want[k], 1e-6) << "point " << i << " value " << k;
        ASSERT_EQ(p.controlPoints.size(), 4u);
        const bool present[4] = {c > 0, r > 0, c < n - 1, r < m - 1};
        for (int k = 0; k < 4; ++k) {
            ASSERT_EQ(p.controlPoints[k].size(), present[k] ? 3u : 0u) << i << " slot " << k;
            if (!present[k])
                continue;
            EXPECT_NEAR(p.controlPoints[k][0], x + dir[k][0] * sx / 3 * w, 1e-6);
            EXPECT_NEAR(p.controlPoints[k][1], y + dir[k][1] * sy / 3 * h, 1e-6);
            EXPECT_EQ(p.controlPoints[k][2], 0.0f);
        }
    }
}

} // namespace

TEST(ControlGrid, DefaultGrids)
{
    PointList g(100);
    buildDefaultGrid(g, 4, 4, 1.0f, 1.0f);
    expectDefaultGrid(g, 4, 4, 1.0f, 1.0f);
    // The corners are exact.
    EXPECT_EQ(g[0].pos[0], -0.5f);
    EXPECT_EQ(g[0].uv[1], 1.0f);
    EXPECT_EQ(g[15].pos[1], 0.5f);
    EXPECT_EQ(g[15].uv[0], 1.0f);
    EXPECT_EQ(g[15].uv[1], 0.0f);

    buildDefaultGrid(g, 2, 2, 2.0f, 0.5f);
    expectDefaultGrid(g, 2, 2, 2.0f, 0.5f);
    // Too few columns or rows, or an unusable card size: the 2 x 2 square.
    buildDefaultGrid(g, 1, -3, kNaN, 0.0f);
    expectDefaultGrid(g, 2, 2, 1.0f, 1.0f);
}

TEST(ControlGrid, SizesAndRatios)
{
    EXPECT_TRUE(gridMatches(PointList(12), 4, 3));
    EXPECT_FALSE(gridMatches(PointList(12), 3, 3));
    EXPECT_FALSE(gridMatches(PointList(12), -4, -3));
    EXPECT_FALSE(gridMatches(PointList(), 65536, 65536)); // 2^32 wraps to 0 in int
    EXPECT_FALSE(gridMatches(PointList(), 0, 5));

    const float sizes[][3] = {{2.0f, 1.0f, 0.5f}, {0.5f, 0.5f, 1.0f}, {1.0f, 1.0f, 1.0f}, {4.0f, 1.0f, 0.25f}};
    for (const auto& s : sizes) {
        EXPECT_EQ(cardSizeForRatio(s[0]).width, s[1]) << s[0];
        EXPECT_EQ(cardSizeForRatio(s[0]).height, s[2]) << s[0];
    }
    for (float r : {1.0f, 0.5f, 1.7777778f, 1e-3f, 1e3f})
        EXPECT_TRUE(isUsableRatio(r)) << r;
    for (float r : {0.0f, -1.0f, kNaN, std::numeric_limits<float>::infinity(), 1e-40f, 1e38f})
        EXPECT_FALSE(isUsableRatio(r)) << r;
}

TEST(ControlGrid, RatioChangesScaleTheGrid)
{
    PointList original;
    buildDefaultGrid(original, 4, 4, 1.0f, 1.0f);
    PointList g = original;
    // Ratio 1 -> 2 -> 0.5 -> 1, each step scaling by new size / old size.
    const float steps[3][3] = {{2.0f, 1.0f, 0.5f}, {0.5f, 0.5f, 2.0f}, {1.0f, 2.0f, 1.0f}};
    CardSize old{1.0f, 1.0f};
    for (const auto& step : steps) {
        const PointList before = g;
        const CardSize size = cardSizeForRatio(step[0]);
        ASSERT_TRUE(scaleGrid(g, 4, 4, size.width / old.width, size.height / old.height));
        old = size;
        for (std::size_t i = 0; i < g.size(); ++i) {
            EXPECT_EQ(g[i].pos[0], before[i].pos[0] * step[1]);
            EXPECT_EQ(g[i].pos[1], before[i].pos[1] * step[2]);
            for (int k = 0; k < 4; ++k)
                if (slotPresent(g[i], k)) {
                    EXPECT_EQ(g[i].controlPoints[k][1], before[i].controlPoints[k][1] * step[2]);
                }
        }
    }
    // Powers of two are exact: z, uv and the square card are back bit for bit.
    expectSamePoints(g, original);

    // Refused without any change: wrong size, non-finite factor, overflow.
    EXPECT_FALSE(scaleGrid(g, 4, 3, 2.0f, 2.0f));
    EXPECT_FALSE(scaleGrid(g, 4, 4, kNaN, 1.0f));
    g[15].pos[0] = 3e38f;
    const PointList big = g;
    EXPECT_FALSE(scaleGrid(g, 4, 4, 2.0f, 1.0f));
    expectSamePoints(g, big);
}

TEST(ControlGrid, MovePointKeepsHandles)
{
    PointList g;
    buildDefaultGrid(g, 4, 4, 1.0f, 1.0f);
    PointList expected = g;
    const float to[3] = {0.25f, -2.0f, 3.0f}, bad[3] = {0.0f, kNaN, 0.0f};
    ASSERT_TRUE(movePoint(g, 5, to));
    EXPECT_FALSE(movePoint(g, 6, bad));
    EXPECT_FALSE(movePoint(g, 16, to));
    EXPECT_FALSE(movePoint(g, -1, to));
    expected[5].pos[0] = 0.25f;
    expected[5].pos[1] = -2.0f;
    expected[5].pos[2] = 3.0f;
    expectSamePoints(g, expected);
}

TEST(ControlGrid, TangentHandleContinuity)
{
    PointList base;
    buildDefaultGrid(base, 4, 4, 1.0f, 1.0f);
    const int i = 5; // column 1, row 1: all four handles
    const float h[3] = {-0.1f, -0.05f, 0.2f};
    const float* p = base[i].pos;
    const double d[3] = {p[0] - h[0], p[1] - h[1], p[2] - h[2]};
    // Without mirroring the "left" handle keeps its distance 1/9 from the point.
    const double keep = (1.0 / 9) / std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);

    for (int mode = 0; mode < 4; ++mode) {
        const bool brk = mode & 1, mirror = mode & 2;
        PointList g = base;
        const TangentEdit e = setTangentHandle(g, i, 2, h, brk, mirror);
        EXPECT_TRUE(e.changed);
        EXPECT_EQ(g[i].controlPoints[2], std::vector<float>(h, h + 3));
        std::vector<float> left = base[i].controlPoints[0];
        if (!brk)
            for (int k = 0; k < 3; ++k)
                left[k] = static_cast<float>(p[k] + d[k] * (mirror ? 1.0 : keep));
        EXPECT_EQ(e.oppositeChanged, !brk);
        EXPECT_EQ(e.oppositeSlot, brk ? -1 : 0);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(g[i].controlPoints[0][k], left[k], 1e-6) << "mode " << mode;
            if (!brk) {
                EXPECT_EQ(e.opposite[k], g[i].controlPoints[0][k]);
            }
        }
        g[i].controlPoints[0] = base[i].controlPoints[0];
        g[i].controlPoints[2] = base[i].controlPoints[2];
        expectSamePoints(g, base);
    }

    // "Up" turns "down"; a handle placed on the point drags it onto the point.
    PointList g = base;
    EXPECT_EQ(setTangentHandle(g, i, 3, p, false, false).oppositeSlot, 1);
    EXPECT_EQ(g[i].controlPoints[1], std::vector<float>(p, p + 3));
}

TEST(ControlGrid, TangentHandleEdgesAndDamage)
{
    PointList base;
    buildDefaultGrid(base, 4, 4, 1.0f, 1.0f);
    const float h[3] = {0.0f, 0.0f, 0.0f}, nan3[3] = {kNaN, 0.0f, 0.0f};

    // Column 0 has no "left": "right" changes alone, "left" cannot be made.
    PointList g = base;
    const TangentEdit e = setTangentHandle(g, 4, 2, h, false, false);
    EXPECT_TRUE(e.changed && !e.oppositeChanged);
    EXPECT_FALSE(setTangentHandle(g, 4, 0, h, false, false).changed);
    EXPECT_FALSE(setTangentHandle(g, 16, 2, h, false, false).changed);
    EXPECT_FALSE(setTangentHandle(g, 5, 4, h, false, false).changed);
    EXPECT_FALSE(setTangentHandle(g, 5, -1, h, false, false).changed);
    EXPECT_FALSE(setTangentHandle(g, 5, 2, nan3, false, false).changed);
    g[4].controlPoints[2] = base[4].controlPoints[2];
    expectSamePoints(g, base);

    // A restored point with three slots, one of them short.
    g[5].controlPoints.resize(3);
    g[5].controlPoints[2].resize(2);
    EXPECT_FALSE(slotPresent(g[5], 3));
    EXPECT_FALSE(slotPresent(g[5], 2));
    EXPECT_FALSE(setTangentHandle(g, 5, 3, h, false, false).changed);
    EXPECT_FALSE(setTangentHandle(g, 5, 2, h, false, false).changed);
    EXPECT_FALSE(setTangentHandle(g, 5, 0, h, false, false).oppositeChanged);
    EXPECT_EQ(g[5].controlPoints[2].size(), 2u);

    // A mirror image beyond the float range leaves the opposite handle alone.
    g = base;
    g[5].pos[0] = 3e38f;
    const float far[3] = {-3e38f, 0.0f, 0.0f};
    EXPECT_FALSE(setTangentHandle(g, 5, 2, far, false, true).oppositeChanged);
    EXPECT_EQ(g[5].controlPoints[0], base[5].controlPoints[0]);
}
