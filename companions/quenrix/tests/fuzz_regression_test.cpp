// Findings of fuzzing the post-processor's stream readers, kept as cases.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "companions/quenrix/shapes.h"

namespace kavrinth {
namespace {

// A path whose outline would leave the 32-bit range (its centre line lies closer to the
// edge than the width) is not drawn, and says so; its outline used to wrap round to the
// far end of the range. The same path a little further in is drawn.
TEST(QuenrixFuzzRegressionTest, APathAtTheEdgeOfTheCoordinateRangeIsNotDrawn) {
  struct Case {
    const char* name;
    std::vector<int32_t> centre;
    bool drawn;
  };
  const Case cases[] = {
      {"on the left edge", {INT32_MIN, 0, INT32_MIN, 1000}, false},
      {"on the top edge", {0, INT32_MAX, 1000, INT32_MAX}, false},
      {"a width and one unit in", {INT32_MIN + 101, 0, INT32_MIN + 101, 1000}, true},
      {"far from the edges", {0, 0, 0, 1000}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PolygonCutter cutter;
    std::vector<LocalQuad> quads;
    std::vector<LocalSector> sectors;
    EXPECT_EQ(PathShapes(c.centre, 100, 0, 1, cutter, quads, sectors), c.drawn);
    if (!c.drawn) {
      EXPECT_TRUE(quads.empty());
      continue;
    }
    ASSERT_FALSE(quads.empty());
    // The drawn path covers its centre line within the half-width, nothing beyond.
    for (const LocalQuad& quad : quads) {
      for (size_t i = 0; i < quad.xy.size(); i += 2) {
        EXPECT_LE(std::abs(int64_t{quad.xy[i]} - c.centre[0]), 50);
      }
    }
  }
}

}  // namespace
}  // namespace kavrinth
