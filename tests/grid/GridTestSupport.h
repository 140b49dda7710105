// Comparison shared by the grid tests.
#pragma once

#include <cstring>

#include <gtest/gtest.h>

#include "grid/VtxPoint.h"

// Same number of points and slots, every float the same bit pattern.
inline void expectSamePoints(const quorcard::PointList& a, const quorcard::PointList& b)
{
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(0, std::memcmp(a[i].pos, b[i].pos, sizeof a[i].pos)) << i;
        EXPECT_EQ(0, std::memcmp(a[i].uv, b[i].uv, sizeof a[i].uv)) << i;
        EXPECT_EQ(0, std::memcmp(a[i].normal, b[i].normal, sizeof a[i].normal)) << i;
        ASSERT_EQ(a[i].controlPoints.size(), b[i].controlPoints.size()) << i;
        for (std::size_t k = 0; k < a[i].controlPoints.size(); ++k) {
            const std::vector<float>& x = a[i].controlPoints[k];
            const std::vector<float>& y = b[i].controlPoints[k];
            ASSERT_EQ(x.size(), y.size()) << i << " slot " << k;
            EXPECT_TRUE(x.empty() || std::memcmp(x.data(), y.data(), x.size() * sizeof(float)) == 0)
                << i << " slot " << k;
        }
    }
}
