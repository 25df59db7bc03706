// Tests of the writer's library layer: opening records, units, padding, structures and
// their spool files, write errors, and the process-wide writer.
#include "gdsii/writer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <string>
#include <vector>

#include "gds_test_support.h"

namespace kavrinth {
namespace {

using testing::Ascii;
using testing::Be16;
using testing::Be32;
using testing::ReadBytes;
using testing::Real;
using testing::Records;
using testing::Types;

class LibraryTest : public testing::WriterFixture {};

TEST_F(LibraryTest, SmallLibraryIsWrittenByteForByte) {
  const std::string path = dir.File("lib.gds");
  ASSERT_EQ(writer.OpenLibrary(path, "UM", 0.001, "", 1.0, false), kGdsOk);
  ASSERT_EQ(writer.BeginStructure("TOP"), kGdsOk);
  const GdsPoint square[] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {9, 9}};
  ASSERT_EQ(writer.WriteBoundary(square, 1, 0, 0, 0), kGdsOk);
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);

  const std::vector<uint8_t> stamp = {0x00, 0x63, 0x00, 0x0C, 0x00, 0x1F, 0x00, 0x17,
                                      0x00, 0x3B, 0x00, 0x3A, 0x00, 0x63, 0x00, 0x0C,
                                      0x00, 0x1F, 0x00, 0x17, 0x00, 0x3B, 0x00, 0x3A};
  std::vector<uint8_t> expected = {0x00, 0x06, 0x00, 0x02, 0x00, 0x03,  // HEADER 3
                                   0x00, 0x1C, 0x01, 0x02};             // BGNLIB
  expected.insert(expected.end(), stamp.begin(), stamp.end());
  const std::vector<uint8_t> rest = {
      0x00, 0x0C, 0x02, 0x06, 'L',  'I',  'B',  '.',  'G',  'D',  'S',  0x00,  // LIBNAME
      0x00, 0x14, 0x03, 0x05, 0x3E, 0x41, 0x89, 0x37, 0x4B, 0xC6, 0xA7, 0xF3,  // UNITS
      0x39, 0x44, 0xB8, 0x2F, 0xA0, 0x9B, 0x5A, 0x55,                          //
      0x00, 0x1C, 0x05, 0x02};                                                 // BGNSTR
  expected.insert(expected.end(), rest.begin(), rest.end());
  expected.insert(expected.end(), stamp.begin(), stamp.end());
  const std::vector<uint8_t> body = {
      0x00, 0x08, 0x06, 0x06, 'T',  'O',  'P',  0x00,  // STRNAME
      0x00, 0x04, 0x08, 0x00,                          // BOUNDARY
      0x00, 0x06, 0x0D, 0x02, 0x00, 0x01,              // LAYER 1
      0x00, 0x06, 0x0E, 0x02, 0x00, 0x00,              // DATATYPE 0
      0x00, 0x2C, 0x10, 0x03,                          // XY, 5 points
      0,    0,    0,    0,    0,    0,    0,    0,     //
      0,    0,    0x03, 0xE8, 0,    0,    0,    0,     //
      0,    0,    0x03, 0xE8, 0,    0,    0x03, 0xE8,  //
      0,    0,    0,    0,    0,    0,    0x03, 0xE8,  //
      0,    0,    0,    0,    0,    0,    0,    0,     // the first point closes it
      0x00, 0x04, 0x11, 0x00,                          // ENDEL
      0x00, 0x04, 0x07, 0x00,                          // ENDSTR
      0x00, 0x04, 0x04, 0x00};                         // ENDLIB
  expected.insert(expected.end(), body.begin(), body.end());
  ASSERT_EQ(expected.size(), 174u);
  expected.resize(2048, 0);
  EXPECT_EQ(ReadBytes(path), expected);
  EXPECT_TRUE(dir.OtherEntries({"lib.gds"}).empty());
}

TEST_F(LibraryTest, NativeOrderWritesIntegersLittleEndian) {
  ASSERT_EQ(writer.OpenLibrary(OutputPath(), "UM", 0.001, "", 1.0, true), kGdsOk);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  const std::vector<uint8_t> bytes = ReadBytes(OutputPath());
  const std::vector<uint8_t> header(bytes.begin(), bytes.begin() + 10);
  EXPECT_EQ(header, (std::vector<uint8_t>{0x02, 0x00, 0x06, 0x00, 0x03, 0x00,  //
                                          0x02, 0x01, 0x1C, 0x00}));
  EXPECT_EQ(bytes[10], 0x63);  // the year 99, low byte first
  EXPECT_EQ(bytes[11], 0x00);
}

// Pads a library to `before` bytes ahead of ENDLIB and returns the file's length.
size_t LengthWithEndLibAt(GdsWriter& writer, const std::string& path, size_t before) {
  EXPECT_EQ(writer.OpenLibrary(path, "UM", 0.001, "", 1.0, false), kGdsOk);
  // Opening records of "out.gds": HEADER 6, BGNLIB 28, LIBNAME 12, UNITS 20.
  const size_t opening = 66;
  const std::vector<uint8_t> filler(before - opening - 4, 0);
  EXPECT_EQ(writer.WriteRecord(60, kGdsTypeAscii, filler), kGdsOk);
  EXPECT_EQ(writer.EndLibrary(), kGdsOk);
  return ReadBytes(path).size();
}

TEST_F(LibraryTest, EndLibPadsToTheNextBlockAndAWholeBlockOnABoundary) {
  EXPECT_EQ(LengthWithEndLibAt(writer, OutputPath(), 4096), 6144u);
  EXPECT_EQ(LengthWithEndLibAt(writer, OutputPath(), 4092), 6144u);
  const std::vector<uint8_t> bytes = ReadBytes(OutputPath());
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 4092, bytes.begin() + 4096),
            (std::vector<uint8_t>{0x00, 0x04, 0x04, 0x00}));
  EXPECT_EQ(std::count(bytes.begin() + 4096, bytes.end(), 0), 2048);
}

TEST_F(LibraryTest, LibraryNameIsTheUpperCasedLastComponent) {
  ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0755), 0);
  const struct {
    std::string file;
    std::string name;
  } cases[] = {{"sub\\out.gds", "OUT.GDS"}, {"sub/Mixed.Gds", "MIXED.GDS"}, {"d:x.gds", "X.GDS"}};
  for (const auto& c : cases) {
    const std::string path = dir.path() + "/" + c.file;
    ASSERT_EQ(writer.OpenLibrary(path, "UM", 0.001, "", 1.0, false), kGdsOk) << c.file;
    ASSERT_EQ(writer.EndLibrary(), kGdsOk);
    GdsLibrary library;
    std::string error;
    ASSERT_EQ(GdsReadLibrary(path, &library, &error), 0) << error;
    EXPECT_EQ(library.name, c.name);
  }
}

TEST_F(LibraryTest, UnitsAndResults) {
  const struct {
    std::string unit;
    double database_unit;
    int result;
    double metres;
  } cases[] = {
      {"UM", 0.001, kGdsOk, 1e-9},           {"um", 0.001, kGdsFailed, 0},
      {"MIL", 0.01, kGdsOk, 0.01 * 2.54e-5}, {"USER", 0.001, kGdsFailed, 0},
      {"MILES", 1, kGdsOk, 1609.344},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(writer.OpenLibrary(OutputPath(), c.unit, c.database_unit, "", 1.0, false), c.result)
        << c.unit;
    EXPECT_EQ(writer.EndLibrary(), kGdsOk);
    const GdsLibrary library = ReadBack();
    EXPECT_DOUBLE_EQ(library.user_units_per_database_unit, c.database_unit);
    EXPECT_NEAR(library.metres_per_database_unit, c.metres, c.metres * 1e-15) << c.unit;
  }
  EXPECT_EQ(writer.OpenLibrary(OutputPath(), "UM", 0.001, "", 0.0, false), kGdsLimitApplied);
  EXPECT_EQ(writer.text_height(), 1.0);
  EXPECT_EQ(writer.EndLibrary(), kGdsOk);
  EXPECT_EQ(writer.OpenLibrary(OutputPath(), "UM", 0.001, "", -2.5, false), kGdsOk);
  EXPECT_EQ(writer.text_height(), 2.5);
  EXPECT_EQ(writer.EndLibrary(), kGdsOk);
}

TEST_F(LibraryTest, NonPositiveDatabaseUnitIsRefusedByThePlainOpen) {
  for (double unit : {0.0, -0.001, std::nan("")}) {
    EXPECT_EQ(writer.OpenLibrary(OutputPath(), "UM", unit, "", 1.0, false), kGdsFailed);
    EXPECT_FALSE(writer.library_open());
    EXPECT_TRUE(dir.OtherEntries({}).empty());
    EXPECT_EQ(writer.BeginStructure("A"), kGdsFailed);
  }
}

TEST_F(LibraryTest, ExtendedOpenWithoutUnitsCarriesSettingsButNoCoordinates) {
  const GdsRefLibs reflibs{};
  const GdsFontTable fonts{};
  EXPECT_EQ(writer.OpenLibraryEx(OutputPath(), "USER", 0.0, 1.0, 0.0, reflibs, fonts, false),
            kGdsFailed);
  EXPECT_TRUE(writer.library_open());
  EXPECT_EQ(writer.WriteNamedProperty("GBR$UNIT", kGdsSettingInt16, int32_t{3}), kGdsOk);
  const GdsPoint square[] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}};
  EXPECT_EQ(writer.WriteBoundary(square, 1, 0, 0, 0), kGdsFailed);
  EXPECT_EQ(writer.EndLibrary(), kGdsOk);
  const GdsLibrary library = ReadBack();
  EXPECT_EQ(library.user_units_per_database_unit, 0.0);
  ASSERT_EQ(library.elements.size(), 1u);
  EXPECT_EQ(library.elements[0].kind, kGdsExtNamedSetting);
  EXPECT_EQ(writer.OpenLibraryEx(OutputPath(), "UM", -1.0, 1.0, 0.0, reflibs, fonts, false),
            kGdsFailed);
  EXPECT_FALSE(writer.library_open());
}

TEST_F(LibraryTest, ExtendedOpenScaleUserUnitAndAreas) {
  GdsRefLibs reflibs{};
  GdsFontTable fonts{};
  writer.user_unit_metres() = 2.54e-5;
  EXPECT_EQ(writer.OpenLibraryEx(OutputPath(), "USER", 0.01, 1.0005, 0.25, reflibs, fonts, false),
            kGdsOk);
  EXPECT_EQ(writer.coordinate_divisor(), 0.01);
  EXPECT_EQ(writer.min_path_width(), 0.25);
  EXPECT_EQ(writer.EndLibrary(), kGdsOk);
  EXPECT_EQ(Types(Records(ReadBytes(OutputPath()))),
            (std::vector<int>{kGdsHeader, kGdsBgnLib, kGdsLibName, kGdsUnits, kGdsEndLib}));

  reflibs[50] = 'R';
  fonts[0] = 'F';
  EXPECT_EQ(writer.OpenLibraryEx(OutputPath(), "UM", 0.001, 2.0, 0.0, reflibs, fonts, false),
            kGdsOk);
  EXPECT_EQ(writer.coordinate_divisor(), 0.002);
  EXPECT_EQ(writer.EndLibrary(), kGdsOk);
  const auto records = Records(ReadBytes(OutputPath()));
  ASSERT_EQ(Types(records), (std::vector<int>{kGdsHeader, kGdsBgnLib, kGdsLibName, kGdsRefLibs,
                                              kGdsFonts, kGdsUnits, kGdsEndLib}));
  EXPECT_EQ(records[3].data.size(), 88u);
  EXPECT_EQ(records[3].data[50], 'R');
  EXPECT_EQ(records[4].data.size(), 176u);
  EXPECT_EQ(records[5].data, Real({0.001, 1e-9}));  // the scale leaves UNITS alone
}

TEST_F(LibraryTest, PlainFontNameFillsTheFirstSlot) {
  const std::string long_name(50, 'f');
  ASSERT_EQ(writer.OpenLibrary(OutputPath(), "UM", 0.001, long_name, 1.0, false), kGdsOk);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  const auto records = Records(ReadBytes(OutputPath()));
  ASSERT_EQ(records[3].type, kGdsFonts);
  std::vector<uint8_t> expected(176, 0);
  std::fill_n(expected.begin(), 44, 'f');
  EXPECT_EQ(records[3].data, expected);
}

TEST_F(LibraryTest, NestedStructuresComeOutInnerFirstWithoutTemporaries) {
  ASSERT_EQ(writer.OpenLibrary(OutputPath(), "UM", 0.001, "", 1.0, false), kGdsOk);
  ASSERT_EQ(writer.BeginStructure("A"), kGdsOk);
  const GdsPoint path[] = {{0, 0}, {1, 1}};
  ASSERT_EQ(writer.WritePath(path, 1, 0, 0.1, 0, 0, 0), kGdsOk);
  ASSERT_EQ(writer.BeginStructure("B"), kGdsOk);
  EXPECT_EQ(writer.depth(), 2);
  EXPECT_EQ(dir.OtherEntries({}).size(), 3u);  // two spool files and the unfinished output
  ASSERT_EQ(writer.WriteSref("A", 0, 0, 1, 0, false, 0, 0), kGdsOk);
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  ASSERT_EQ(writer.WriteSref("B", 5, 5, 1, 0, false, 0, 0), kGdsOk);
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  ASSERT_EQ(writer.BeginStructure("C"), kGdsOk);
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  EXPECT_TRUE(dir.OtherEntries({"out.gds"}).empty());

  const GdsLibrary library = ReadBack();
  ASSERT_EQ(library.structures.size(), 3u);
  EXPECT_EQ(library.structures[0].name, "B");
  EXPECT_EQ(library.structures[1].name, "A");
  EXPECT_EQ(library.structures[2].name, "C");
  ASSERT_EQ(library.structures[1].elements.size(), 2u);
  EXPECT_EQ(library.structures[1].elements[0].kind, kGdsPath);
  EXPECT_EQ(library.structures[1].elements[1].sname, "B");
}

TEST_F(LibraryTest, LargeSpooledStructureIsCopiedWhole) {
  ASSERT_EQ(writer.OpenLibrary(OutputPath(), "UM", 0.001, "", 1.0, false), kGdsOk);
  ASSERT_EQ(writer.BeginStructure("BIG"), kGdsOk);
  std::vector<GdsPoint> points;
  for (int i = 0; i < 4000; ++i) points.push_back({i * 0.001, (i % 7) * 0.001});
  for (int i = 0; i < 20; ++i) ASSERT_EQ(writer.WritePath(points, i, 0, 0, 0, 0, 0), kGdsOk);
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  const GdsLibrary library = ReadBack();
  ASSERT_EQ(library.structures.size(), 1u);
  ASSERT_EQ(library.structures[0].elements.size(), 20u);
  EXPECT_EQ(library.structures[0].elements[19].layer, 19);
  EXPECT_EQ(library.structures[0].elements[19].points[3999].x, 3999);
  EXPECT_TRUE(dir.OtherEntries({"out.gds"}).empty());
}

TEST_F(LibraryTest, NoSpoolingKeepsTheOrderAndMakesNoTemporaries) {
  ASSERT_EQ(writer.OpenLibrary(OutputPath(), "UM", 0.001, "", 1.0, false), kGdsOk);
  writer.SetFlags(kGdsNoSpooling);
  ASSERT_EQ(writer.BeginStructure("A"), kGdsOk);
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  ASSERT_EQ(writer.BeginStructure("B"), kGdsOk);
  EXPECT_EQ(writer.depth(), 0);
  EXPECT_EQ(dir.OtherEntries({}).size(), 1u);  // the unfinished output only
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  const GdsLibrary library = ReadBack();
  ASSERT_EQ(library.structures.size(), 2u);
  EXPECT_EQ(library.structures[0].name, "A");
  EXPECT_EQ(library.structures[1].name, "B");
}

TEST_F(LibraryTest, DroppedStructuresLeaveNothingAndNestedDropsRestoreTheOutput) {
  ASSERT_EQ(writer.OpenLibrary(OutputPath(), "UM", 0.001, "", 1.0, false), kGdsOk);
  writer.SetFlags(kGdsNoSpooling);
  ASSERT_EQ(writer.BeginStructureEx("GONE", true), kGdsOk);
  ASSERT_EQ(writer.BeginStructureEx("ALSO_GONE", true), kGdsOk);
  ASSERT_EQ(writer.EndStructureEx("ALSO_GONE", true), kGdsOk);
  ASSERT_EQ(writer.WriteSref("X", 0, 0, 1, 0, false, 0, 0), kGdsOk);
  ASSERT_EQ(writer.EndStructureEx("GONE", true), kGdsOk);
  ASSERT_EQ(writer.BeginStructureEx("KEPT", false), kGdsOk);
  ASSERT_EQ(writer.EndStructureEx("KEPT", false), kGdsOk);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  const GdsLibrary library = ReadBack();
  ASSERT_EQ(library.structures.size(), 1u);
  EXPECT_EQ(library.structures[0].name, "KEPT");
}

TEST_F(LibraryTest, StructureSectionSpooledAsAWhole) {
  ASSERT_EQ(writer.OpenLibrary(OutputPath(), "UM", 0.001, "", 1.0, false), kGdsOk);
  writer.SetFlags(kGdsSpoolStructureSection);
  ASSERT_EQ(writer.WriteNamedProperty("FIRST", kGdsSettingInt32, int32_t{1}), kGdsOk);
  ASSERT_EQ(writer.BeginStructure("A"), kGdsOk);
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  EXPECT_EQ(writer.depth(), 1);
  ASSERT_EQ(writer.BeginStructure("B"), kGdsOk);
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  const GdsLibrary library = ReadBack();
  ASSERT_EQ(library.structures.size(), 2u);
  EXPECT_EQ(library.structures[0].name, "A");
  EXPECT_EQ(library.structures[1].name, "B");
  EXPECT_EQ(library.elements.size(), 1u);
  EXPECT_TRUE(dir.OtherEntries({"out.gds"}).empty());
}

TEST_F(LibraryTest, SixteenthNestedStructureIsRefused) {
  ASSERT_EQ(writer.OpenLibrary(OutputPath(), "UM", 0.001, "", 1.0, false), kGdsOk);
  for (int i = 0; i < 15; ++i) ASSERT_EQ(writer.BeginStructure("S" + std::to_string(i)), kGdsOk);
  EXPECT_EQ(writer.BeginStructure("S15"), kGdsFailed);
  EXPECT_EQ(writer.open_structures(), 15);
  for (int i = 0; i < 15; ++i) ASSERT_EQ(writer.EndStructure(), kGdsOk);
  EXPECT_EQ(writer.EndStructure(), kGdsFailed);  // nothing left to end
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  const GdsLibrary library = ReadBack();
  ASSERT_EQ(library.structures.size(), 15u);
  EXPECT_EQ(library.structures[0].name, "S14");
  EXPECT_EQ(library.structures[14].name, "S0");
}

TEST_F(LibraryTest, StructuresLeftOpenAreEndedAndReported) {
  ASSERT_EQ(writer.OpenLibrary(OutputPath(), "UM", 0.001, "", 1.0, false), kGdsOk);
  ASSERT_EQ(writer.BeginStructure("OUTER"), kGdsOk);
  ASSERT_EQ(writer.BeginStructure("INNER"), kGdsOk);
  ASSERT_EQ(writer.WriteSref("OUTER", 0, 0, 1, 0, false, 0, 0), kGdsOk);
  EXPECT_EQ(writer.EndLibrary(), kGdsLimitApplied);
  const GdsLibrary library = ReadBack();
  ASSERT_EQ(library.structures.size(), 2u);
  EXPECT_EQ(library.structures[0].name, "INNER");
  EXPECT_EQ(library.structures[0].elements.size(), 1u);
  EXPECT_EQ(library.structures[1].name, "OUTER");
  EXPECT_TRUE(dir.OtherEntries({"out.gds"}).empty());
}

TEST_F(LibraryTest, StructureNamesAreCutTo32Characters) {
  ASSERT_EQ(writer.OpenLibrary(OutputPath(), "UM", 0.001, "", 1.0, false), kGdsOk);
  const std::string name(40, 'N');
  ASSERT_EQ(writer.BeginStructure(name), kGdsOk);
  EXPECT_EQ(writer.structure_name(), std::string(32, 'N'));
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  EXPECT_EQ(ReadBack().structures.at(0).name, std::string(32, 'N'));
}

TEST_F(LibraryTest, NoSpoolFileMeansNoStructure) {
  ASSERT_EQ(writer.OpenLibrary(OutputPath(), "UM", 0.001, "", 1.0, false), kGdsOk);
  SetWorkingDirectory(dir.File("missing"));
  EXPECT_EQ(writer.BeginStructure("A"), kGdsFailed);
  EXPECT_EQ(writer.open_structures(), 0);
  SetWorkingDirectory(dir.path());
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  EXPECT_TRUE(ReadBack().structures.empty());
}

TEST_F(LibraryTest, RecordsBeyondTheLengthFieldAreRefused) {
  ASSERT_EQ(writer.OpenLibrary(OutputPath(), "UM", 0.001, "", 1.0, false), kGdsOk);
  EXPECT_EQ(writer.WriteRecord(60, kGdsTypeAscii, std::vector<uint8_t>(65531, 'x')), kGdsFailed);
  EXPECT_EQ(writer.WriteRecord(60, kGdsTypeAscii, std::vector<uint8_t>(65530, 'x')), kGdsOk);
  EXPECT_EQ(writer.WriteRecord(61, kGdsTypeNone, std::vector<uint8_t>(7, 'x')), kGdsOk);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  const auto records = Records(ReadBytes(OutputPath()));
  ASSERT_EQ(records.size(), 7u);
  EXPECT_EQ(records[4].data.size(), 65530u);
  EXPECT_TRUE(records[5].data.empty());  // a record without data is its header alone
}

TEST_F(LibraryTest, AFullDeviceIsAFailure) {
  ASSERT_EQ(writer.OpenLibrary("/dev/full", "UM", 0.001, "", 1.0, false), kGdsOk);
  EXPECT_EQ(writer.EndLibrary(), kGdsFailed);
  EXPECT_NE(writer.error_number(), 0);
}

TEST_F(LibraryTest, AFailedWriteLeavesTheOldFileInPlace) {
  testing::WriteBytes(OutputPath(), {'o', 'l', 'd'});
  struct rlimit old_limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit = old_limit;
  limit.rlim_cur = 256 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);

  ASSERT_EQ(writer.OpenLibrary(OutputPath(), "UM", 0.001, "", 1.0, false), kGdsOk);
  writer.SetFlags(kGdsNoSpooling);
  ASSERT_EQ(writer.BeginStructure("TOP"), kGdsOk);
  std::vector<GdsPoint> points(5000, GdsPoint{1, 1});
  for (int i = 0; i < 10; ++i) writer.WritePath(points, 1, 0, 0, 0, 0, 0);
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  const int result = writer.EndLibrary();

  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);
  EXPECT_EQ(result, kGdsFailed);
  EXPECT_EQ(writer.error_number(), EFBIG);
  EXPECT_EQ(ReadBytes(OutputPath()), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_TRUE(dir.OtherEntries({"out.gds"}).empty());
}

TEST_F(LibraryTest, TheOutputReplacesTheOldFileOnlyWhenFinished) {
  testing::WriteBytes(OutputPath(), {'o', 'l', 'd'});
  chmod(OutputPath().c_str(), 0640);
  ASSERT_EQ(writer.OpenLibrary(OutputPath(), "UM", 0.001, "", 1.0, false), kGdsOk);
  EXPECT_EQ(ReadBytes(OutputPath()).size(), 3u);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  EXPECT_EQ(ReadBytes(OutputPath()).size(), 2048u);
  struct stat status;
  ASSERT_EQ(stat(OutputPath().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);

  // A library abandoned by a new open never replaces anything.
  ASSERT_EQ(writer.OpenLibrary(OutputPath(), "UM", 0.001, "", 1.0, false), kGdsOk);
  ASSERT_EQ(writer.OpenLibrary(dir.File("other.gds"), "UM", 0.001, "", 1.0, false), kGdsOk);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);
  EXPECT_EQ(ReadBytes(OutputPath()).size(), 2048u);
  EXPECT_TRUE(dir.OtherEntries({"out.gds", "other.gds"}).empty());
}

TEST_F(LibraryTest, TheNullDeviceNameDiscardsTheLibrary) {
  ASSERT_EQ(writer.OpenLibrary("NUL", "UM", 0.001, "", 1.0, false), kGdsOk);
  ASSERT_EQ(writer.BeginStructure("A"), kGdsOk);
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  EXPECT_EQ(writer.EndLibrary(), kGdsOk);
  EXPECT_TRUE(dir.OtherEntries({}).empty());
}

TEST_F(LibraryTest, CannotOpenIsResultOne) {
  EXPECT_EQ(writer.OpenLibrary(dir.File("no/such/dir.gds"), "UM", 0.001, "", 1.0, false),
            kGdsFailed);
  EXPECT_FALSE(writer.library_open());
  EXPECT_EQ(writer.EndLibrary(), kGdsFailed);
}

TEST(DefaultWriterTest, FreeFunctionsShareOneWriter) {
  testing::ScratchDir dir;
  DefaultGdsWriter().SetClock(testing::FixedTime);
  GdsUserUnitMetres() = 1e-6;
  const GdsRefLibs reflibs{};
  const GdsFontTable fonts{};
  ASSERT_EQ(GdsOpenLibraryEx(dir.File("hdr.gds"), "USER", 0.001, 1.0, 0.0, reflibs, fonts, false),
            kGdsOk);
  GdsSetFlags(kGdsNoSpooling);
  EXPECT_EQ(GdsWriteNamedProperty("$TOPSTR$", kGdsSettingText, std::string_view("TOP")), kGdsOk);
  EXPECT_EQ(GdsWriteLayerFileRecord(5, "TOP05.gbr"), kGdsOk);
  EXPECT_EQ(DefaultGdsWriter().flags(), kGdsNoSpooling);
  ASSERT_EQ(GdsEndLibrary(), kGdsOk);
  GdsSetFlags(0);
  GdsLibrary library;
  std::string error;
  ASSERT_EQ(GdsReadLibrary(dir.File("hdr.gds"), &library, &error), 0) << error;
  EXPECT_DOUBLE_EQ(library.metres_per_database_unit, 1e-9);
  ASSERT_EQ(library.elements.size(), 2u);
  EXPECT_EQ(library.elements[1].ustring, "TOP05.gbr");
}

}  // namespace
}  // namespace kavrinth
