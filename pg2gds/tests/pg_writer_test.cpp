// The PG output writer: byte-exact headers, records and trailers, read-back through the
// PG record readers in every format and encoding, and files kept safe on failure.
#include "pg2gds/pg_writer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pg2gds/pg_readers.h"
#include "support/buf_file.h"

namespace kavrinth {
namespace {

class PgWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = "/tmp/pg_writer_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name = "out.pg") const { return dir_ + "/" + name; }

  std::string Bytes(const std::string& name = "out.pg") const {
    std::ifstream in(Path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // Everything in the directory: a failed or abandoned output leaves no temporary file.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_))
      names.push_back(entry.path().filename().string());
    return names;
  }

  // Writes the flashes as one file of the format and encoding; 0 when every call
  // succeeded.
  int WriteFlashes(int32_t format, int ebcdic, const std::vector<PgOutputFlash>& flashes,
                   bool english = false) {
    PgOutputWriter writer;
    int result = writer.OpenPgOutput(Path(), format, ebcdic, {}, english);
    for (const PgOutputFlash& flash : flashes) result |= writer.WritePgFlash(flash);
    return result | writer.ClosePgOutput();
  }

  // Reads the file back with the readers: every flash delivered (or sector, as its
  // record), and the last result in *end.
  std::vector<FlashRecord> ReadBack(int32_t format, int* end, int32_t* unit_code = nullptr,
                                    int* variant = nullptr) {
    std::vector<FlashRecord> flashes;
    std::unique_ptr<BufFile> file = BufFileOpen(Path().c_str(), "rb");
    EXPECT_NE(file, nullptr);
    if (!file) return flashes;
    PgReader reader;
    int32_t unit = 0;
    int index = DetectPgFormat(&reader, file.get(), format, &unit);
    PgRecordReader read = PgRecordReaderFor(index);
    EXPECT_NE(read, nullptr) << "format " << format << " not detected";
    if (read == nullptr) return flashes;
    int result = 0;
    for (size_t guard = 0; guard < 1000000; ++guard) {
      result = read(&reader);
      if (result == kPgReadFlash || result == kPgReadSector) {
        flashes.push_back(reader.flash());
      } else if (result != kPgReadNothing) {
        break;
      }
    }
    *end = result;
    if (unit_code) *unit_code = unit;
    if (variant) *variant = reader.ebcdic_variant();
    return flashes;
  }

  std::string dir_;
};

std::string Padded(std::string head, size_t size, char pad) {
  head.resize(size, pad);
  return head;
}

// ---- Byte-exact layouts ----

TEST_F(PgWriterTest, EmptyElectroMaskOutputIsOneBlockWithTheEndMark) {
  ASSERT_EQ(WriteFlashes(kPgFormatElectroMask, kPgAscii, {}), kPgOutputOk);
  EXPECT_EQ(Bytes(), Padded("<Z", 800, '.'));
}

TEST_F(PgWriterTest, ElectroMaskLeavesOutFieldsThatDidNotChange) {
  ASSERT_EQ(WriteFlashes(kPgFormatElectroMask, kPgAscii,
                         {{100, 200, 30, 10, 0},
                          {150, 200, 30, 10, 0},
                          {150, 200, 30, 10, 0},
                          {-5, 200, 30, 10, 450}}),
            kPgOutputOk);
  EXPECT_EQ(Bytes(), Padded("<X100Y200W30V10U0SX150SSX-5U450SZ", 800, '.'));
}

TEST_F(PgWriterTest, ElectroMaskNumbersOfEveryLengthAndSign) {
  // Digit counts 1 to 10 on both sides of zero, the ends of the 32-bit range, and values
  // whose last pairs of digits are 00, 09 or 99.
  const int32_t values[] = {0,           7,         -7,        10,         -10,        99,
                            100,         -101,      909,       1000,       -9999,      10009,
                            99999,       -100000,   1234567,   -70000009,  999999999,  1000000000,
                            -1999999999, INT32_MAX, INT32_MIN, 2100000000, -1000000099};
  std::vector<PgOutputFlash> flashes;
  std::string expected = "<";
  for (int32_t v : values) {
    flashes.push_back({v, 0, 0, 0, 0});
    expected += "X" + std::to_string(v) + (flashes.size() == 1 ? "Y0W0V0U0S" : "S");
  }
  ASSERT_EQ(WriteFlashes(kPgFormatElectroMask, kPgAscii, flashes), kPgOutputOk);
  EXPECT_EQ(Bytes(), Padded(expected + "Z", 800, '.'));
}

TEST_F(PgWriterTest, RecordThatDoesNotFitGoesWholeIntoTheNextBlockWithEveryField) {
  // "<" + the first record (17 bytes) + 782 one-byte records "S" fill the block exactly;
  // the next record, though identical, starts a new block and repeats every field.
  std::vector<PgOutputFlash> flashes(1 + 782, {100, 200, 30, 10, 0});
  flashes.push_back({101, 200, 30, 10, 0});
  ASSERT_EQ(WriteFlashes(kPgFormatElectroMask, kPgAscii, flashes), kPgOutputOk);
  std::string first = "<X100Y200W30V10U0S" + std::string(782, 'S');
  ASSERT_EQ(first.size(), 800u);
  EXPECT_EQ(Bytes(), first + Padded("<X101Y200W30V10U0SZ", 800, '.'));
}

TEST_F(PgWriterTest, ExactlyFullLastBlockIsFollowedByABlockHoldingTheEndMark) {
  std::vector<PgOutputFlash> flashes(1 + 782, {100, 200, 30, 10, 0});
  ASSERT_EQ(WriteFlashes(kPgFormatElectroMask, kPgAscii, flashes), kPgOutputOk);
  std::string bytes = Bytes();
  ASSERT_EQ(bytes.size(), 1600u);
  EXPECT_EQ(bytes.substr(800), Padded("<Z", 800, '.'));
  int end = 0;
  EXPECT_EQ(ReadBack(kPgFormatElectroMask, &end).size(), flashes.size());
  EXPECT_EQ(end, kPgReadEndOfData);
}

TEST_F(PgWriterTest, MannHeadersNameTheMachineAndTheUnit) {
  struct Case {
    int32_t format;
    bool english;
    std::string machine_line;
  };
  const Case cases[] = {{kPgFormatMann3000, false, "\"T300M\""},
                        {kPgFormatMann3000, true, "\"T300E\""},
                        {kPgFormatMann3600, false, "\"T360M\""},
                        {kPgFormatMann3600, true, "\"T360E\""}};
  for (const Case& c : cases) {
    ASSERT_EQ(WriteFlashes(c.format, kPgAscii, {}, c.english), kPgOutputOk);
    std::string bytes = Bytes();
    ASSERT_EQ(bytes.size(), 1024u);
    EXPECT_EQ(bytes.substr(0, 512), Padded("#\"00\"", 512, ' '));
    EXPECT_EQ(bytes.substr(512), Padded(c.machine_line + "$", 512, ' ')) << c.machine_line;
  }
}

TEST_F(PgWriterTest, MannRecordsUseTheMannFieldOrderAndDecimals) {
  const std::vector<PgOutputFlash> flashes = {{150000, -2500, 300, 100, 900},
                                              {150000, -2500, 300, 100, 905}};
  ASSERT_EQ(WriteFlashes(kPgFormatMann3000, kPgAscii, flashes), kPgOutputOk);
  EXPECT_EQ(Bytes().substr(512), Padded("\"T300M\"X150000Y-2500H100W300A900;A905;$", 512, ' '));

  ASSERT_EQ(WriteFlashes(kPgFormatMann3600, kPgAscii, flashes, true), kPgOutputOk);
  EXPECT_EQ(Bytes().substr(512),
            Padded("\"T360E\"X1.50000Y-0.02500H0.00100W0.00300A90.00000;A90.50000;$", 512, ' '));
}

TEST_F(PgWriterTest, MannBlockChangeRepeatsEveryField) {
  // Block two starts with the 7-byte machine line; each "X..;" record below is 8 bytes.
  std::vector<PgOutputFlash> flashes = {{0, 0, 0, 0, 0}};
  for (int i = 0; i < 100; ++i) flashes.push_back({100000 + i % 2, 0, 0, 0, 0});
  ASSERT_EQ(WriteFlashes(kPgFormatMann3000, kPgAscii, flashes), kPgOutputOk);
  std::string bytes = Bytes();
  ASSERT_GE(bytes.size(), 1536u);
  std::string third_block = bytes.substr(1024, 512);
  EXPECT_EQ(third_block.rfind("X1000", 0), 0u) << third_block.substr(0, 40);
  EXPECT_NE(third_block.find("Y0H0W0A0;"), std::string::npos);
  // The second block ends in blank padding where the next record did not fit.
  EXPECT_EQ(bytes[1023], ' ');
  int end = 0;
  std::vector<FlashRecord> read = ReadBack(kPgFormatMann3000, &end);
  ASSERT_EQ(read.size(), flashes.size());
  for (size_t i = 0; i < flashes.size(); ++i) EXPECT_EQ(read[i].x, flashes[i].x) << i;
}

TEST_F(PgWriterTest, EbcdicSetsAndDigitVariants) {
  ASSERT_EQ(WriteFlashes(kPgFormatElectroMask, kPgEbcdicPlus, {{89, -98, 8, 9, 0}}), kPgOutputOk);
  const std::string plus = "\x4A\xE7\xF8\xF9\xE8\x60\xF9\xF8\xE6\xF8\xE5\xF9\xE4\xF0\xE2\xE9";
  EXPECT_EQ(Bytes(), Padded(plus, 800, '\x4B'));

  ASSERT_EQ(WriteFlashes(kPgFormatElectroMask, kPgEbcdicMinus, {{89, -98, 8, 9, 0}}), kPgOutputOk);
  const std::string minus = "\x4A\xE7\xFA\xFB\xE8\x60\xFB\xFA\xE6\xFA\xE5\xFB\xE4\xF0\xE2\xE9";
  EXPECT_EQ(Bytes(), Padded(minus, 800, '\x4B'));

  ASSERT_EQ(WriteFlashes(kPgFormatMann3600, kPgEbcdicPlus, {{-150000, 0, 0, 0, 0}}), kPgOutputOk);
  std::string bytes = Bytes();
  EXPECT_EQ(bytes.substr(0, 512), Padded("\x7B\x7F\xF0\xF0\x15", 512, '\x40'));
  const std::string mann = "\x7F\xE3\xF3\xF6\xF0\xD4\x15\xE7\x60\xF1\x4B\xF5\xF0\xF0\xF0\xF0";
  EXPECT_EQ(bytes.substr(512, mann.size()), mann);
}

TEST_F(PgWriterTest, IntermediateHeaderRecordsAndCounts) {
  PgOutputWriter writer;
  ASSERT_EQ(writer.OpenPgOutput(Path(), kPgFormatIntermediate, kPgAscii), kPgOutputOk);
  PgOutputShape quad;
  quad.points = {0, 0, 1000, 0, 1000, 500, 0, 500};
  ASSERT_EQ(writer.WritePgShape(quad), kPgOutputOk);
  quad.points = {0, 0, 1000, 0, 500, 500, 500, 500};  // a triangle: p2 = p3
  ASSERT_EQ(writer.WritePgShape(quad), kPgOutputOk);
  PgOutputShape sector;
  sector.sector = 1;
  sector.centre_x = 2000;
  sector.centre_y = -3000;
  sector.inner_radius = 250;
  sector.sweep = 900;
  sector.points = {3000, -3000};
  ASSERT_EQ(writer.WritePgShape(sector), kPgOutputOk);
  ASSERT_EQ(writer.ClosePgOutput(), kPgOutputOk);

  std::string bytes = Bytes();
  ASSERT_EQ(bytes.size(), 23u + 2 * 40 + 69);
  std::string header(
      "\xFD"
      "P",
      2);
  header += std::string(20, '\0');
  header += 'T';
  header[10] = 2;  // kind-3 count
  header[18] = 1;  // kind-5 count
  EXPECT_EQ(bytes.substr(0, 23), header);
  EXPECT_EQ(bytes.substr(23, 3), std::string("\x92\0\0", 3));
  EXPECT_EQ(bytes[23 + 39], '\x9C');
  float count = 0;
  std::memcpy(&count, bytes.data() + 23 + 40 + 3, 4);  // the triangle's corner count
  EXPECT_EQ(count, 3.0f);
  EXPECT_EQ(bytes.substr(103, 3), std::string("\x02\x01\0", 3));
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\x01\x0D");
}

// ---- Read-back through the PG record readers ----

// Flashes with negative values, changed and repeated fields and digits 8 and 9,
// enough to fill several blocks of every format.
std::vector<PgOutputFlash> SampleFlashes() {
  std::vector<PgOutputFlash> flashes;
  for (int32_t i = 0; i < 400; ++i) {
    PgOutputFlash f;
    f.x = (i * 98765) % 2000003 - 1000000;
    f.y = i % 3 == 0 ? 8989 : -(i * 7919) % 500000;
    f.w = 20 + (i % 7) * 198;
    f.h = i % 5 == 0 ? f.w : 10 + (i % 11) * 89;
    f.angle = (i % 4) * 450 + (i % 9 == 0 ? 1 : 0);
    flashes.push_back(f);
  }
  return flashes;
}

TEST_F(PgWriterTest, EveryTextFormatAndEncodingReadsBackEveryFlash) {
  struct Case {
    int32_t format;
    int ebcdic;
    bool english;
    int32_t unit_code;  // what the reader's detection finds
  };
  const Case cases[] = {
      {kPgFormatElectroMask, kPgAscii, false, 0},
      {kPgFormatElectroMask, kPgEbcdicPlus, false, 0},
      {kPgFormatElectroMask, kPgEbcdicMinus, false, 0},
      {kPgFormatMann3000, kPgAscii, false, 4},
      {kPgFormatMann3000, kPgEbcdicPlus, true, 1},
      {kPgFormatMann3000, kPgEbcdicMinus, false, 4},
      {kPgFormatMann3600, kPgAscii, true, 1},
      {kPgFormatMann3600, kPgEbcdicPlus, false, 5},
      {kPgFormatMann3600, kPgEbcdicMinus, true, 1},
  };
  const std::vector<PgOutputFlash> flashes = SampleFlashes();
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << c.format << " ebcdic " << c.ebcdic);
    ASSERT_EQ(WriteFlashes(c.format, c.ebcdic, flashes, c.english), kPgOutputOk);
    int end = 0, variant = 0;
    int32_t unit = 0;
    std::vector<FlashRecord> read = ReadBack(c.format, &end, &unit, &variant);
    EXPECT_EQ(end, kPgReadEndOfData);
    if (c.format != kPgFormatElectroMask) {
      EXPECT_EQ(unit, c.unit_code);
    }
    EXPECT_EQ(variant, c.ebcdic);
    ASSERT_EQ(read.size(), flashes.size());
    for (size_t i = 0; i < flashes.size(); ++i) {
      const PgOutputFlash& f = flashes[i];
      const FlashRecord& r = read[i];
      ASSERT_TRUE(r.x == f.x && r.y == f.y && r.w == f.w && r.h == f.h && r.angle == f.angle)
          << "flash " << i << ": read " << r.x << "," << r.y << "," << r.w << "," << r.h << ","
          << r.angle;
    }
  }
}

TEST_F(PgWriterTest, IntermediateReadsBackQuadrilateralsThenSectorsAcrossBlocks) {
  PgOutputWriter writer;
  ASSERT_EQ(writer.OpenPgOutput(Path(), kPgFormatIntermediate, kPgAscii), kPgOutputOk);
  std::vector<PgOutputShape> quads, sectors;
  for (int32_t i = 0; i < 30; ++i) {  // 30 x 40 bytes: the records run over two block ends
    PgOutputShape q;
    int32_t x = -500000 + i * 33331, y = 250000 - i * 777;
    q.points = {x, y, x + 4000, y, x + 4000 + i, y + 1500, x + i, y + 1500};
    if (i % 7 == 0) q.points[6] = q.points[4], q.points[7] = q.points[5];
    quads.push_back(q);
    ASSERT_EQ(writer.WritePgShape(q), kPgOutputOk);
  }
  for (int32_t i = 0; i < 8; ++i) {
    PgOutputShape s;
    s.sector = 1;
    s.centre_x = 1000 * i;
    s.centre_y = -2000;
    s.inner_radius = i % 2 == 0 ? 0 : 300;
    s.sweep = 450 * (i + 1);
    s.points = {1000 * i + 800, -2000};
    sectors.push_back(s);
    ASSERT_EQ(writer.WritePgShape(s), kPgOutputOk);
  }
  EXPECT_EQ(writer.quadrilateral_count(), 30u);
  EXPECT_EQ(writer.sector_count(), 8u);
  ASSERT_EQ(writer.ClosePgOutput(), kPgOutputOk);

  int end = 0;
  std::vector<FlashRecord> read = ReadBack(kPgFormatIntermediate, &end);
  EXPECT_EQ(end, kPgReadEndOfData);
  ASSERT_EQ(read.size(), quads.size() + sectors.size());
  for (size_t i = 0; i < quads.size(); ++i) {
    for (int k = 0; k < 8; ++k) EXPECT_EQ(read[i].corners[k], quads[i].points[k]) << i << "/" << k;
  }
  for (size_t i = 0; i < sectors.size(); ++i) {
    const FlashRecord& r = read[quads.size() + i];
    EXPECT_EQ(r.corners[kPgCentreX], sectors[i].centre_x);
    EXPECT_EQ(r.corners[kPgCentreY], sectors[i].centre_y);
    EXPECT_EQ(r.corners[0], sectors[i].points[0]);
    EXPECT_EQ(r.corners[1], sectors[i].points[1]);
    EXPECT_EQ(r.w, 800);  // outer radius
    EXPECT_EQ(r.h, sectors[i].inner_radius);
    EXPECT_EQ(r.angle, sectors[i].sweep);
  }
}

// ---- Failures ----

TEST_F(PgWriterTest, FormatsThatCannotBeWrittenLeaveNoFile) {
  struct Case {
    int32_t format;
    int result;
  };
  const Case cases[] = {{kPgFormatTap, kPgOutputUnsupported},
                        {kPgFormatCifMann, kPgOutputUnsupported},
                        {kPgFormatDraftek, kPgOutputFailed},
                        {7, kPgOutputFailed},
                        {-1, kPgOutputFailed}};
  for (const Case& c : cases) {
    PgOutputWriter writer;
    EXPECT_EQ(writer.OpenPgOutput(Path(), c.format, kPgAscii), c.result) << c.format;
    EXPECT_FALSE(writer.is_open());
    EXPECT_EQ(writer.ClosePgOutput(), kPgOutputFailed);
  }
  EXPECT_TRUE(Entries().empty());
  PgOutputWriter writer;
  EXPECT_EQ(writer.OpenPgOutput(dir_ + "/missing/out.em", kPgFormatElectroMask, kPgAscii),
            kPgOutputFailed);
}

TEST_F(PgWriterTest, RecordOfTheWrongKindIsRefused) {
  PgOutputWriter writer;
  ASSERT_EQ(writer.OpenPgOutput(Path(), kPgFormatIntermediate, kPgAscii), kPgOutputOk);
  EXPECT_EQ(writer.WritePgFlash({1, 2, 3, 4, 0}), kPgOutputFailed);
  ASSERT_EQ(writer.OpenPgOutput(Path(), kPgFormatMann3000, kPgAscii), kPgOutputOk);
  EXPECT_EQ(writer.WritePgShape(PgOutputShape{}), kPgOutputFailed);
  writer.AbandonPgOutput();
  EXPECT_TRUE(Entries().empty());
}

TEST_F(PgWriterTest, CleanCloseReplacesAnExistingFileAndAbandonKeepsIt) {
  std::ofstream(Path(), std::ios::binary) << "old contents";
  {
    PgOutputWriter writer;
    ASSERT_EQ(writer.OpenPgOutput(Path(), kPgFormatElectroMask, kPgAscii), kPgOutputOk);
    ASSERT_EQ(writer.WritePgFlash({1, 2, 3, 4, 0}), kPgOutputOk);
    EXPECT_EQ(Bytes(), "old contents");  // nothing touches the target before the close
  }                                      // destroyed while open: abandoned
  EXPECT_EQ(Bytes(), "old contents");
  EXPECT_EQ(Entries(), std::vector<std::string>{"out.pg"});

  ASSERT_EQ(WriteFlashes(kPgFormatElectroMask, kPgAscii, {{1, 2, 3, 4, 0}}), kPgOutputOk);
  EXPECT_EQ(Bytes(), Padded("<X1Y2W3V4U0SZ", 800, '.'));
  EXPECT_EQ(Entries(), std::vector<std::string>{"out.pg"});
}

TEST_F(PgWriterTest, WriteErrorKeepsTheExistingFileAndLeavesNoTemporary) {
  std::ofstream(Path(), std::ios::binary) << "old contents";
  // In a child, a file-size limit makes the writes past 4 KB fail; the child reports
  // the results of the writer as its exit status. The flashes fill the writer's buffer
  // several times over, so the failure shows while they are written.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    PgOutputWriter writer;
    if (writer.OpenPgOutput(Path(), kPgFormatElectroMask, kPgAscii) != kPgOutputOk) _exit(10);
    int failures = 0;
    for (int32_t i = 0; i < 100000; ++i) failures += writer.WritePgFlash({i, i, 2, 2, 0});
    if (failures == 0) _exit(11);
    _exit(writer.ClosePgOutput() == kPgOutputFailed ? 0 : 12);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Bytes(), "old contents");
  EXPECT_EQ(Entries(), std::vector<std::string>{"out.pg"});
}

TEST_F(PgWriterTest, CallersBufferIsUsedWhenItHoldsABlock) {
  std::vector<uint8_t> buffer(800, 0xAA);
  PgOutputWriter writer;
  ASSERT_EQ(writer.OpenPgOutput(Path(), kPgFormatElectroMask, kPgAscii, buffer), kPgOutputOk);
  EXPECT_EQ(buffer[0], '<');
  EXPECT_EQ(buffer[1], '.');
  ASSERT_EQ(writer.WritePgFlash({7, 7, 2, 2, 0}), kPgOutputOk);
  ASSERT_EQ(writer.ClosePgOutput(), kPgOutputOk);
  EXPECT_EQ(Bytes(), Padded("<X7Y7W2V2U0SZ", 800, '.'));
}

}  // namespace
}  // namespace kavrinth
