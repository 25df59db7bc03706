// PG scanning: files of every format load into the database with the right elements,
// extents, counts and statistics; units, mismatches, Cancel and broken files.
#include "viewer/model/pg_scan.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ini.h"
#include "support/notifier.h"
#include "testing/unprivileged.h"
#include "viewer/model/job_file.h"
#include "viewer/model/tests/viewer_test_support.h"

namespace kavrinth {
namespace {

using Words = std::vector<GdxWord>;

GdxWord Hi(int32_t high, int32_t low) { return static_cast<GdxWord>((uint32_t(high) << 16) | low); }

class RecordingProgress : public ScanProgress {
 public:
  void Open(std::string_view what, std::string_view file, std::string_view detail,
            int64_t total) override {
    texts = {std::string(what), std::string(file), std::string(detail)};
    this->total = total;
  }
  bool Update(int64_t done) override {
    positions.push_back(done);
    return cancel_at_update >= 0 && static_cast<int>(positions.size()) > cancel_at_update;
  }
  void Close() override { ++closes; }

  std::vector<std::string> texts;
  int64_t total = -1;
  std::vector<int64_t> positions;
  int cancel_at_update = -1;
  int closes = 0;
};

std::string Ebcdic(std::string_view text) {
  std::string bytes;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      bytes.push_back(static_cast<char>(0xF0 + (c - '0')));
      continue;
    }
    constexpr std::pair<char, unsigned char> kCodes[] = {{'X', 0xE7}, {'Y', 0xE8}, {'Z', 0xE9},
                                                         {'W', 0xE6}, {'V', 0xE5}, {'U', 0xE4},
                                                         {'S', 0xE2}, {'-', 0x60}, {'+', 0x4E}};
    for (const auto& [ascii, code] : kCodes) {
      if (ascii == c) bytes.push_back(static_cast<char>(code));
    }
  }
  return bytes;
}

void Le32(std::string* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes->push_back(static_cast<char>(value >> (8 * i)));
}

void Floats(std::string* bytes, std::initializer_list<float> values) {
  for (float value : values) Le32(bytes, std::bit_cast<uint32_t>(value));
}

// The ElectroMask record X100Y200W30V10U0S and X50S: a 30 by 10 flash at (100, 200), then
// the same flash at (50, 200).
const std::string kTwoFlashes = "X100Y200W30V10U0SX50S";
const Words kFirstFlash = {115, 205, 85, 205, 85, 195, 115, 195, 115, 205};
const Words kSecondFlash = {65, 205, 35, 205, 35, 195, 65, 195, 65, 205};

class PgScanTest : public ViewerModelTest {
 protected:
  GdxHandle Load(const std::string& name, const std::string& bytes, int32_t format, bool metric,
                 int32_t layer = 0) {
    path_ = Write(name, bytes);
    ImportSettings().pg_format = format;
    ImportSettings().metric = metric;
    ImportSettings().unit_code = UnitCodeFor(format, metric);
    SetViewerUnitDigits(ImportSettings().unit_code);
    return ScanPgFile(&progress_, path_, layer, &status_);
  }

  // The points of each boundary (after its ten header words), circle and arc.
  static std::vector<Words> Points(GdxHandle handle) {
    std::vector<Words> points;
    for (const StoredElement& e : StoredElements(GdxLibraryFromHandle(handle))) {
      if (e.data.empty()) continue;
      const int32_t header = e.data[0] & 0xFFFF;
      points.emplace_back(e.data.begin() + header, e.data.end());
    }
    return points;
  }

  std::string path_;
  ScanStatus status_ = ScanStatus::kLoaded;
  RecordingProgress progress_;
  ScriptedNotifier notifier_;
  ScopedNotifier scoped_notifier_{&notifier_};
};

TEST_F(PgScanTest, ElectroMaskFlashesBecomeBoundariesAtTheirCorners) {
  const GdxHandle handle = Load("a.em", "<" + kTwoFlashes + "Z", 0, true, 7);
  ASSERT_NE(handle, kGdxNoHandle);
  EXPECT_EQ(status_, ScanStatus::kLoaded);
  const GdxLibrary* library = GdxLibraryFromHandle(handle);
  EXPECT_EQ(library->name, path_);
  EXPECT_EQ(library->scale_factor, 1);
  const std::vector<StoredElement> elements = StoredElements(library);
  ASSERT_EQ(elements.size(), 4u);
  EXPECT_EQ(elements[0].type, kGdxStructureBegin);
  EXPECT_NE(GdxFindStructureByName(GdxLibraryFromHandle(handle), "TOP", 0), nullptr);
  const Words& first = elements[1].data;
  EXPECT_EQ(first[0], Hi(kGdxFlashFlags, 10));
  EXPECT_EQ(first[1], Hi(5, 7)) << "five points on the entry's layer";
  EXPECT_EQ(Words(first.begin() + 5, first.begin() + 10), (Words{30, 10, 0, 100, 200}));
  EXPECT_EQ(Points(handle), (std::vector<Words>{kFirstFlash, kSecondFlash}));

  const ViewLayerEntry& entry = LayerTable()[7];
  EXPECT_EQ(entry.first_count, 2);
  EXPECT_EQ(entry.second_count, 0);
  // The first flash holds the largest x.
  EXPECT_EQ(std::vector<int32_t>({entry.min_x, entry.max_x, entry.min_y, entry.max_y}),
            std::vector<int32_t>({35, 115, 195, 205}));
  EXPECT_EQ(entry.smallest_width, 30);
  EXPECT_EQ(entry.smallest_height, 10);
  EXPECT_EQ(entry.largest_width, 30);
  EXPECT_EQ(entry.largest_height, 10);
  EXPECT_EQ(entry.smallest_round, 0);
  EXPECT_EQ(entry.file_size, static_cast<int64_t>(kTwoFlashes.size() + 2));
  EXPECT_EQ(JobState().code_set_name, "ASCII");
  EXPECT_TRUE(notifier_.shown.empty());

  EXPECT_EQ(progress_.texts,
            (std::vector<std::string>{"Scanning PG File", "a.em",
                                      "File Size: " + std::to_string(entry.file_size) + " bytes"}));
  EXPECT_EQ(progress_.total, entry.file_size);
  EXPECT_EQ(progress_.closes, 1);
  EXPECT_EQ(services_.display.metres_per_user_unit, 1e-6);
  EXPECT_DOUBLE_EQ(services_.display.user_units_per_database_unit, 0.1);
}

TEST_F(PgScanTest, EbcdicAndDraftekFilesGiveTheSameFlashes) {
  const GdxHandle ebcdic = Load("e.em", "\x4A" + Ebcdic(kTwoFlashes + "Z"), 0, true);
  ASSERT_NE(ebcdic, kGdxNoHandle);
  EXPECT_EQ(Points(ebcdic), (std::vector<Words>{kFirstFlash, kSecondFlash}));
  EXPECT_EQ(JobState().code_set_name, "EBCDIC");

  std::string draftek(80, '\0');
  Le32(&draftek, 6);  // records 6 and 7 at bytes 100 and 120
  Le32(&draftek, 7);
  draftek.resize(100, '\0');
  for (int x : {10000, 5000}) {
    Le32(&draftek, x);
    Le32(&draftek, 20000);
    Le32(&draftek, 3000);
    Le32(&draftek, 1000);
    Le32(&draftek, 0);
  }
  const GdxHandle handle = Load("d.dft", draftek, 3, true);
  ASSERT_NE(handle, kGdxNoHandle);
  EXPECT_EQ(Points(handle), (std::vector<Words>{kFirstFlash, kSecondFlash}));
  EXPECT_EQ(LayerTable()[0].first_count, 2);
  EXPECT_EQ(ImportSettings().unit_code, 2);
}

TEST_F(PgScanTest, Mann3600NumbersAreDecimals) {
  const GdxHandle handle = Load("m.dwm", "\"T360M\"\r\nX1.5Y2.0W0.1H0.2A0;$", 2, true);
  ASSERT_NE(handle, kGdxNoHandle);
  // W < H turns the flash by 90 degrees: the long side along y.
  EXPECT_EQ(Points(handle), (std::vector<Words>{{145000, 210000, 145000, 190000, 155000, 190000,
                                                 155000, 210000, 145000, 210000}}));
  EXPECT_EQ(ImportSettings().unit_code, 5);
  EXPECT_TRUE(notifier_.shown.empty());
}

TEST_F(PgScanTest, TapFilesAreMannBehindALeadIn) {
  const GdxHandle handle =
      Load("t.tap", std::string(512, '\0') + "\"T360M\"\r\nX1.5Y2.0W0.2H0.1A0;$", 5, true);
  ASSERT_NE(handle, kGdxNoHandle);
  // Detection gives a Tap file's "M" the unit code 4: one unit per user unit, factor 10.
  EXPECT_EQ(ImportSettings().unit_code, 4);
  EXPECT_EQ(Points(handle), (std::vector<Words>{{1600000, 2050000, 1400000, 2050000, 1400000,
                                                 1950000, 1600000, 1950000, 1600000, 2050000}}));
  EXPECT_EQ(LayerTable()[0].max_x, 160000);
}

TEST_F(PgScanTest, IntermediateQuadrilateralsAndSectors) {
  std::string bytes = "\xFD";
  bytes.push_back('\0');
  for (uint32_t count : {0u, 0u, 1u, 0u, 2u}) Le32(&bytes, count);
  bytes.push_back('\0');
  bytes.push_back('\0');  // kind 3 record
  Floats(&bytes, {4.0f, 0.0f, 0.0f, 0.03f, 0.0f, 0.03f, 0.01f, 0.0f, 0.01f});
  bytes.push_back('\0');
  auto sector = [&bytes](float inner, float sweep, float cx, float cy, float ox, float oy) {
    bytes.push_back('\0');
    Floats(&bytes, {0, 0, 0, 0, inner, sweep, cx, cy, ox, oy, 0, 0, 0, 0, 0, 0});
    bytes.append(2, '\0');
  };
  sector(0.0f, 360.0f, 0.1f, 0.1f, 0.105f, 0.1f);  // a full circle of radius 5
  sector(0.002f, 90.0f, 0.2f, 0.2f, 0.21f, 0.2f);  // a quarter ring from 2 to 10
  const GdxHandle handle = Load("i.int", bytes, 4, true);
  ASSERT_NE(handle, kGdxNoHandle) << static_cast<int>(status_);
  const std::vector<StoredElement> elements = StoredElements(GdxLibraryFromHandle(handle));
  ASSERT_EQ(elements.size(), 5u);
  EXPECT_EQ(elements[1].type, kGdxBoundary);
  EXPECT_EQ(Words(elements[1].data.begin() + 10, elements[1].data.end()),
            (Words{0, 0, 30, 0, 30, 10, 0, 10, 0, 0}));
  EXPECT_EQ(elements[2].type, kGdxCircle);
  EXPECT_EQ(elements[2].data,
            (Words{Hi(kGdxFlashFlags | 1, 6), 0, 0, 5, 0, 0, 100, 100, 105, 100, 105, 100}));
  EXPECT_EQ(elements[3].type, kGdxArc);
  // Width r1 - r2, radius (r1 + r2) / 2, from the middle of the start edge to the middle of
  // the end edge, counter-clockwise from quadrant 1 into quadrant 2.
  EXPECT_EQ(elements[3].data,
            (Words{Hi(kGdxFlashFlags, 6), Hi(0x210, 0), 0, 6, 8, 0, 200, 200, 206, 200, 200, 206}));
  const ViewLayerEntry& entry = LayerTable()[0];
  EXPECT_EQ(entry.first_count, 1);
  EXPECT_EQ(entry.second_count, 2);
  EXPECT_EQ(entry.smallest_round, 5);
  EXPECT_EQ(entry.largest_round, 10);
  EXPECT_EQ(entry.smallest_width, 30);
  EXPECT_EQ(entry.smallest_height, 10);
  EXPECT_EQ(std::vector<int32_t>({entry.min_x, entry.max_x, entry.min_y, entry.max_y}),
            std::vector<int32_t>({0, 210, 0, 210}));
  EXPECT_EQ(JobState().code_set_name, "Intermediate");
  EXPECT_EQ(GdxFindStructureByName(GdxLibraryFromHandle(handle), "TOP", 0)->extents,
            (GdxRect{0, 0, 214, 214}))
      << "the ring segment's box widened by its width";
}

TEST_F(PgScanTest, AUnitOfOneScalesSizesAndPositionsLikeThePoints) {
  // Mann 3000 in microns counts one unit per user unit: the database takes factor 10.
  const GdxHandle handle = Load("m.mann", "\"T300M\"\r\nX100Y200W30H10A0;$", 1, true);
  ASSERT_NE(handle, kGdxNoHandle);
  const GdxLibrary* library = GdxLibraryFromHandle(handle);
  EXPECT_EQ(library->scale_factor, 10);
  const Words data = StoredElements(library)[1].data;
  EXPECT_EQ(Words(data.begin() + 5, data.begin() + 10), (Words{300, 100, 0, 1000, 2000}));
  EXPECT_EQ(Words(data.begin() + 10, data.begin() + 12), (Words{1150, 2050}));
  EXPECT_DOUBLE_EQ(services_.display.user_units_per_database_unit, 0.1);
  // The layer entry's report values stay in the file's units.
  EXPECT_EQ(LayerTable()[0].max_x, 115);
}

TEST_F(PgScanTest, AUnitMismatchFollowsTheUnitTheFileShows) {
  struct Case {
    const char* name;
    const char* machine_line;
    bool job_metric;
    bool metric_after;
    int32_t unit_code;
    const char* message;
  } cases[] = {
      {"mils in a metric job", "T300E", true, false, 1,
       "Data unit (UM) is mismatched.  Unit(MILS) of %s assumed."},
      {"microns in a mils job", "T300M", false, true, 4,
       "Data unit (MILS) is mismatched.  Unit(UM) of %s assumed."},
      {"Mann 3600 microns in a Mann 3000 micron job", "T360M", true, true, 5, nullptr},
      {"mils in a mils job", "T300E", false, false, 1, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetViewerModel();
    notifier_.shown.clear();
    JobState().job_path = Write("job.job", "[General]\r\nFormatType=1\r\nUnitType=7\r\n");
    const std::string file = std::string("\"") + c.machine_line + "\"\rX1Y1W1H1A0;$";
    ASSERT_NE(Load("m.dat", file, 1, c.job_metric), kGdxNoHandle);
    EXPECT_EQ(ImportSettings().metric, c.metric_after);
    EXPECT_EQ(ImportSettings().unit_code, c.unit_code);
    EXPECT_EQ(services_.display.metres_per_user_unit, c.metric_after ? 1e-6 : 2.54e-5);
    if (c.message == nullptr) {
      EXPECT_TRUE(notifier_.shown.empty());
      EXPECT_EQ(ReadProfileString(JobState().job_path, "General", "UnitType", "", 8), "7");
      continue;
    }
    ASSERT_EQ(notifier_.shown.size(), 1u);
    std::string expected = c.message;
    expected.replace(expected.find("%s"), 2, path_);
    EXPECT_EQ(notifier_.shown[0].text, expected);
    EXPECT_EQ(notifier_.shown[0].caption, "Warning");
    EXPECT_EQ(ReadProfileString(JobState().job_path, "General", "UnitType", "", 8),
              c.metric_after ? "1" : "0");
  }
}

TEST_F(PgScanTest, NegativeCoordinatesOfATextFileAreWarnedAbout) {
  ASSERT_NE(Load("neg.em", "<X100Y-50W10V10U0SZ", 0, true), kGdxNoHandle);
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0].text, "Illegal negative coordinates encountered in " + path_ + ".");
  EXPECT_EQ(notifier_.shown[0].caption, "Warning");
  EXPECT_EQ(LayerTable()[0].min_y, -55);
}

TEST_F(PgScanTest, AnEmptyFileGivesOneEmptyStructure) {
  const GdxHandle handle = Load("empty.em", "<Z", 0, true);
  ASSERT_NE(handle, kGdxNoHandle);
  const GdxLibrary* library = GdxLibraryFromHandle(handle);
  EXPECT_EQ(StoredElements(library).size(), 2u);
  EXPECT_EQ(library->structure_count, 1);
  const ViewLayerEntry& entry = LayerTable()[0];
  EXPECT_EQ(std::vector<int32_t>({entry.min_x, entry.max_x, entry.min_y, entry.max_y}),
            std::vector<int32_t>({INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN}));
  EXPECT_EQ(entry.first_count, 0);
}

TEST_F(PgScanTest, BrokenFilesLoadNothingAndAreReported) {
  struct Case {
    const char* name;
    std::string bytes;
    int32_t format;
    ScanStatus status;
    const char* text;
  } cases[] = {
      {"ends inside a record", "<X100Y200W30V10U0SX5", 0, ScanStatus::kTruncated,
       "File reading error: %s ends before its end-of-data mark."},
      {"ends without its mark", "<" + kTwoFlashes, 0, ScanStatus::kTruncated,
       "File reading error: %s ends before its end-of-data mark."},
      {"not ElectroMask", "X100S", 0, ScanStatus::kNotDetected,
       "File reading error: %s does not hold ElectroMask data."},
      {"CIF Mann has no reader", "B 10 20 30 40;", 6, ScanStatus::kNoReader,
       "File reading error: %s is in the CIF Mann format, which cannot be loaded."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetViewerModel();
    notifier_.shown.clear();
    LayerTable()[0].first_count = 99;
    EXPECT_EQ(Load("bad.pg", c.bytes, c.format, true), kGdxNoHandle);
    EXPECT_EQ(status_, c.status);
    EXPECT_EQ(GdxChainHead(), kGdxNoHandle) << "the library is freed";
    EXPECT_EQ(LayerTable()[0].first_count, 99) << "report values unchanged";
    ASSERT_EQ(notifier_.shown.size(), 1u);
    std::string expected = c.text;
    expected.replace(expected.find("%s"), 2, path_);
    EXPECT_EQ(notifier_.shown[0].text, expected);
  }
  EXPECT_EQ(ScanPgFile(nullptr, PathOf("missing.em"), 0, &status_), kGdxNoHandle);
  EXPECT_EQ(status_, ScanStatus::kNotOpened);
}

TEST_F(PgScanTest, PointEndsMann3000DataWithAWarningWhenDataFollows) {
  struct Case {
    const char* name;
    std::string bytes;
    int32_t flashes;
    const char* warning;
  } cases[] = {
      {"point at the end", "\"T300M\"\rX10Y20W4H2A0;X30;.\r\n", 2, nullptr},
      {"flashes after the point", "\"T300M\"\rX10Y20W4H2A0;.\rX30;$", 1,
       "Data after the end of data (\".\") at offset 23 left out.\n%s"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetViewerModel();
    notifier_.shown.clear();
    ASSERT_NE(Load("end.dwm", c.bytes, 1, true), kGdxNoHandle);
    EXPECT_EQ(status_, ScanStatus::kLoaded);
    EXPECT_EQ(LayerTable()[0].first_count, c.flashes);
    if (c.warning == nullptr) {
      EXPECT_TRUE(notifier_.shown.empty());
      continue;
    }
    ASSERT_EQ(notifier_.shown.size(), 1u);
    std::string expected = c.warning;
    expected.replace(expected.find("%s"), 2, path_);
    EXPECT_EQ(notifier_.shown[0].text, expected);
  }
}

TEST_F(PgScanTest, CancelLeavesNoLibraryAndNoNewValues) {
  std::string bytes = "<";
  for (int i = 0; i < 5000; ++i) bytes += "X" + std::to_string(i) + "Y5W4V2U0S";
  bytes += "Z";
  LayerTable()[0].first_count = 99;
  progress_.cancel_at_update = 2;
  EXPECT_EQ(Load("big.em", bytes, 0, true), kGdxNoHandle);
  EXPECT_EQ(status_, ScanStatus::kCancelled);
  EXPECT_EQ(progress_.positions.size(), 3u);
  EXPECT_EQ(GdxChainHead(), kGdxNoHandle);
  EXPECT_EQ(LayerTable()[0].first_count, 99);
  EXPECT_TRUE(notifier_.shown.empty()) << "Cancel is the user's own doing";
}

TEST_F(PgScanTest, ProgressIsLookedAtRarely) {
  std::string bytes = "<";
  for (int i = 0; i < 20000; ++i) bytes += "X" + std::to_string(i) + "Y5W4V2U0S";
  bytes += "Z";
  ASSERT_NE(Load("big.em", bytes, 0, true), kGdxNoHandle);
  EXPECT_EQ(LayerTable()[0].first_count, 20000);
  EXPECT_GE(progress_.positions.size(), 2u);
  EXPECT_LE(progress_.positions.size(), 22u);
  EXPECT_TRUE(std::is_sorted(progress_.positions.begin(), progress_.positions.end()));
  EXPECT_LE(progress_.positions.back(), static_cast<int64_t>(bytes.size()));
}

TEST_F(PgScanTest, BuildFlashElementScalesTheFlashValuesButNotTheAngle) {
  GdxBeginLibrary("flash");
  GdxSetUnits(1.0, 1e-6);
  GdxStartStructure();
  GdxBeginStructure("TOP");
  const ScanFlashRecord record = {1, 2, 3, 4, 5, 6, 7, 8, 4, 5, 30, 10, 450, 40, 50};
  ASSERT_EQ(BuildFlashElement(record, false), 0);
  const GdxHandle handle = GdxEndLibrary();
  const Words data = StoredElements(GdxLibraryFromHandle(handle))[1].data;
  EXPECT_EQ(Words(data.begin() + 5, data.end()),
            (Words{300, 100, 450, 400, 500, 10, 20, 30, 40, 50, 60, 70, 80, 10, 20}));
}

// ElectroMask records of `count` flashes: every kind of angle, odd sides (halves to round),
// fields left out, comments, line ends and negative coordinates.
std::string ElectroMaskFlashes(int count) {
  static constexpr int kAngles[] = {0, 450, 900, 1350, 1800, 2250, 2700, 3150, 1, 899, 1799, 3599};
  uint32_t seed = 12345;
  auto next = [&seed](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 8) % n);
  };
  std::string text;
  for (int i = 0; i < count; ++i) {
    const bool whole = i == 0;
    text += "X" + std::to_string(next(60000) - 500);
    if (whole || i % 7 != 3) text += "Y" + std::to_string(next(60000) - 100);
    if (whole || i % 5 != 0) text += "W" + std::to_string(1 + next(4001));
    if (whole || i % 3 != 0) text += "V" + std::to_string(1 + next(3001));
    if (whole || i % 4 != 1) text += "U" + std::to_string(kAngles[next(std::size(kAngles))]);
    text += "S";
    if (i % 1000 == 17) text += "\"a comment\"";
    if (i % 40 == 0) text += "\r\n";
  }
  return text;
}

// An Intermediate file of quadrilaterals (kind 3) and sectors (kind 5): full circles and
// ring segments of every sweep.
std::string IntermediateFlashes(int quadrilaterals, int sectors) {
  std::string bytes = "\xFD";
  bytes.push_back('\0');
  for (uint32_t count : {0u, 0u, uint32_t(quadrilaterals), 0u, uint32_t(sectors)}) {
    Le32(&bytes, count);
  }
  bytes.push_back('\0');
  for (int i = 0; i < quadrilaterals; ++i) {
    const float x = 0.5f * (i % 300), y = 0.25f * (i / 300), w = 0.011f * (1 + i % 9);
    bytes.push_back('\0');
    Floats(&bytes,
           {4.0f, x, y, x + w, y + 0.002f, x + w - 0.003f, y + 0.02f, x - 0.003f, y + 0.018f});
    bytes.push_back('\0');
  }
  for (int i = 0; i < sectors; ++i) {
    const float cx = 0.3f * (i % 200), cy = 0.7f * (i / 200);
    const float inner = i % 3 == 0 ? 0.0f : 0.001f * (i % 5);
    const float sweep = i % 3 == 0 ? 360.0f : 15.0f * (1 + i % 23) * (i % 2 ? 1 : -1);
    bytes.push_back('\0');
    Floats(&bytes, {0, 0, 0, 0, inner, sweep, cx, cy, cx + 0.006f + 0.001f * (i % 4), cy + 0.002f,
                    0, 0, 0, 0, 0, 0});
    bytes.append(2, '\0');
  }
  return bytes;
}

// What a load leaves that anyone can see: the result, the database's words, the layer
// entry's report values, the messages and the progress shown.
struct LoadOutcome {
  ScanStatus status = ScanStatus::kLoaded;
  std::vector<Words> entries;  // type word, offset, selection (block numbers left out)
  std::vector<Words> data;
  GdxRect extents;
  std::vector<int32_t> counts;
  std::vector<int64_t> report;
  std::vector<std::string> messages;
  std::vector<int64_t> progress;
  int64_t bytes = 0;
  std::string code_set;
  bool operator==(const LoadOutcome&) const = default;
};

TEST_F(PgScanTest, ReadingOnAThreadOfItsOwnLoadsWhatOneThreadLoads) {
  // Over a mebibyte: the database's blocks are made ahead too.
  const std::string flashes = ElectroMaskFlashes(50000);
  std::string mann = "\"T300M\"\r";
  for (int i = 0; i < 5000; ++i) {
    mann += "X" + std::to_string(i) + "Y" + std::to_string(i % 77) + "W4H2A" +
            std::to_string(i % 2 ? 0 : 450) + ";";
  }
  struct Case {
    const char* name;
    std::string bytes;
    int32_t format;
    ScanStatus status;
    int cancel_at_update;  // -1: never
    int64_t memory_limit;  // -1: none
    size_t messages;
  } cases[] = {
      {"ElectroMask", "<" + flashes + "Z", 0, ScanStatus::kLoaded, -1, -1, 1},
      {"EBCDIC", "\x4A" + Ebcdic(flashes + "Z"), 0, ScanStatus::kLoaded, -1, -1, 1},
      {"Intermediate", IntermediateFlashes(7000, 5000), 4, ScanStatus::kLoaded, -1, -1, 0},
      {"data after the end", mann + ".\rX30;$", 1, ScanStatus::kLoaded, -1, -1, 2},
      {"ends inside a record", "<" + flashes + "X5", 0, ScanStatus::kTruncated, -1, -1, 1},
      {"a number beyond 32 bits",
       "<" + flashes.substr(0, flashes.size() / 2) + "X99999999999S" + flashes + "Z", 0,
       ScanStatus::kBadData, -1, -1, 1},
      {"Cancel", "<" + flashes + "Z", 0, ScanStatus::kCancelled, 1, -1, 0},
      {"memory runs out", "<" + flashes + "Z", 0, ScanStatus::kNoMemory, -1, 600000, 1},
  };
  const char* kept = std::getenv("VEXIL_THREADS");
  const std::string kept_value = kept ? kept : "";
  auto load = [&](const Case& c, const char* threads) {
    ResetViewerModel();
    notifier_.shown.clear();
    progress_ = RecordingProgress{};
    progress_.cancel_at_update = c.cancel_at_update;
    setenv("VEXIL_THREADS", threads, 1);
    GdxResetBytesAllocated();
    if (c.memory_limit >= 0) GdxSetAllocationLimitForTesting(c.memory_limit);
    LoadOutcome outcome;
    const GdxHandle handle = Load("flashes.pg", c.bytes, c.format, true, 3);
    outcome.status = status_;
    outcome.bytes = GdxBytesAllocated();
    if (GdxLibrary* library = GdxLibraryFromHandle(handle)) {
      for (const StoredElement& e : StoredElements(library)) {
        outcome.entries.push_back(
            {e.entry[kGdxEntryType], e.entry[kGdxEntryOffset], e.entry[kGdxEntrySelection]});
        outcome.data.push_back(e.data);
      }
      const GdxStructure* top = GdxFindStructureByName(library, "TOP", 0);
      outcome.extents = top->extents;
      outcome.counts = {top->boundary_count, top->circle_count, top->arc_count};
    }
    const ViewLayerEntry& e = LayerTable()[3];
    outcome.report = {e.first_count,    e.second_count,  e.min_x,          e.max_x,
                      e.min_y,          e.max_y,         e.smallest_width, e.smallest_height,
                      e.smallest_round, e.largest_width, e.largest_height, e.largest_round,
                      e.file_size};
    for (const Message& m : notifier_.shown) outcome.messages.push_back(m.caption + ": " + m.text);
    outcome.progress = progress_.positions;
    outcome.code_set = JobState().code_set_name;
    return outcome;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const LoadOutcome one = load(c, "1");
    const LoadOutcome more = load(c, "4");
    EXPECT_EQ(one.status, c.status);
    EXPECT_EQ(more.status, one.status);
    EXPECT_EQ(more.entries, one.entries);
    EXPECT_TRUE(more.data == one.data) << "the elements' words differ";
    EXPECT_EQ(more.extents, one.extents);
    EXPECT_EQ(more.counts, one.counts);
    EXPECT_EQ(more.report, one.report);
    EXPECT_EQ(more.messages, one.messages);
    EXPECT_EQ(more.progress, one.progress);
    EXPECT_EQ(more.bytes, one.bytes);
    EXPECT_EQ(more.code_set, one.code_set);
    // Every case reaches beyond the first batches of the reading thread.
    if (c.status == ScanStatus::kLoaded) {
      EXPECT_GT(one.entries.size(), 5000u);
    }
    if (c.format == 0) {
      EXPECT_GE(c.bytes.size(), size_t{1} << 20);
    }
    if (c.format == 4) {
      EXPECT_TRUE(one.counts[1] > 0 && one.counts[2] > 0) << "circles and arcs";
    }
    EXPECT_EQ(one.messages.size(), c.messages) << testing::PrintToString(one.messages);
    // Where the user may start no more threads, the file is read on the loading one.
    test_support::HandOver(std::filesystem::path(path_).parent_path());
    EXPECT_EQ(test_support::RunUnprivileged(
                  [&] { return test_support::ForbidNewThreads() && load(c, "4") == one; }),
              true);
  }
  if (kept) {
    setenv("VEXIL_THREADS", kept_value.c_str(), 1);
  } else {
    unsetenv("VEXIL_THREADS");
  }
}

}  // namespace
}  // namespace kavrinth
