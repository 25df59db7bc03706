// A sample PG job loaded as the viewer loads it and drawn after zoom-all: every flash lies
// where its world coordinates say, the right way up, in its layer's colour.
#include <algorithm>
#include <climits>

#include "viewer/display/tests/display_test_support.h"
#include "viewer/model/pg_scan.h"

namespace kavrinth {
namespace {

class JobDrawingTest : public DisplayTest {};

TEST_F(JobDrawingTest, SampleFlashesLandWhereTheirCoordinatesSay) {
  ImportSettings().pg_format = 0;
  ImportSettings().metric = false;
  ImportSettings().unit_code = UnitCodeFor(0, false);
  SetViewerUnitDigits(ImportSettings().unit_code);
  const std::string path = std::string(KAVRINTH_SAMPLES_DIR) + "/demo.em";
  ScanStatus status = ScanStatus::kNotOpened;
  const GdxHandle library = ScanPgFile(nullptr, path, 0, &status);
  ASSERT_NE(library, kGdxNoHandle);
  Enter(0, library, 0x00FFFF);
  ASSERT_TRUE(display_.ResizeOffscreenSurface(404, 304));
  ASSERT_EQ(display_.ComputeJobExtents(), 0);
  ASSERT_EQ(display_.DrawAllLayers(nullptr), kDrawDone);
  int flashes = 0;
  int top_y = INT_MAX, top_device_y = 0, bottom_y = INT_MIN, bottom_device_y = 0;
  for (GdxEntryCursor cursor(GdxLibraryFromHandle(library)); cursor.Valid(); cursor.Next()) {
    if (cursor.Type() != kGdxBoundary) continue;
    const GdxWord* data = cursor.Data();
    const GdxWord* p = data + (data[0] & 0xFFFF);
    // The centre of the flash's four corners.
    const int64_t cx = (int64_t{p[0]} + p[2] + p[4] + p[6]) / 4;
    const int64_t cy = (int64_t{p[1]} + p[3] + p[5] + p[7]) / 4;
    const LogicalPoint at =
        display_.window.WorldToLogical(static_cast<int32_t>(cx), static_cast<int32_t>(cy));
    ASSERT_TRUE(display_.window.PointInView(at)) << cx << "," << cy;
    EXPECT_EQ(display_.palette.color(display_.surface.Pixel(at.x, at.y)), 0x00FFFFu)
        << "flash centred at " << cx << "," << cy;
    if (cy > bottom_y) bottom_y = static_cast<int>(cy), bottom_device_y = at.y;
    if (cy < top_y) top_y = static_cast<int>(cy), top_device_y = at.y;
    ++flashes;
  }
  EXPECT_EQ(flashes, 24 + 16) << "the ring of bars and the grid";
  EXPECT_LT(bottom_device_y, top_device_y) << "the highest flash is drawn nearest the top";
  // Between the flashes lies background.
  const GdxRect& box = display_.job_extents();
  const LogicalPoint gap = display_.window.WorldToLogical(box.min_x + (box.max_x - box.min_x) / 20,
                                                          box.min_y + (box.max_y - box.min_y) / 20);
  EXPECT_EQ(display_.surface.Pixel(gap.x, gap.y), kSlotBackground);
}

}  // namespace
}  // namespace kavrinth
