// Tests of the GDSII record reader and the library model: framing, validation of
// malformed streams, bounded decoding, streaming through the buffer, and the model's
// checks of record order.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "gds_test_support.h"
#include "gdsii/library.h"
#include "gdsii/record_reader.h"

namespace kavrinth {
namespace {

using Bytes = std::vector<uint8_t>;

// A record with its length computed from the data, or forced to `length`.
Bytes Rec(int type, int data_type, const Bytes& data = {}, int length = -1) {
  const int n = length >= 0 ? length : static_cast<int>(data.size()) + 4;
  Bytes bytes = {static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n), static_cast<uint8_t>(type),
                 static_cast<uint8_t>(data_type)};
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// HEADER, BGNLIB, LIBNAME and UNITS of a valid library.
Bytes Opening() {
  return Join({Rec(kGdsHeader, kGdsTypeInt16, {0, 3}), Rec(kGdsBgnLib, kGdsTypeInt16, Bytes(24)),
               Rec(kGdsLibName, kGdsTypeAscii, {'L', 0}),
               Rec(kGdsUnits, kGdsTypeReal8, testing::Real({0.001, 1e-9}))});
}

Bytes EndLib() { return Rec(kGdsEndLib, kGdsTypeNone); }

// A record's offset and bytes, to compare two reads of one stream.
std::string Described(const GdsRecord& record) {
  return std::to_string(record.offset) + ":" +
         std::string(record.bytes.begin(), record.bytes.end());
}

// Reads to the end; returns the reader's error ("" when the stream ended well).
std::string ReadAll(const Bytes& bytes, size_t max_length = kGdsMaxRecordLength,
                    size_t* count = nullptr) {
  GdsRecordReader reader(GdsRecordReader::kDefaultBufferSize, max_length);
  reader.OpenBytes(bytes);
  GdsRecord record;
  GdsReadStatus status;
  size_t records = 0;
  while ((status = reader.Next(&record)) == GdsReadStatus::kRecord) ++records;
  if (count != nullptr) *count = records;
  EXPECT_EQ(reader.Next(&record), status);  // the end and errors are sticky
  return status == GdsReadStatus::kEnd ? "" : reader.error();
}

TEST(RecordReaderTest, RejectsMalformedStreamsWithAClearError) {
  const struct {
    const char* what;
    Bytes bytes;
    std::string error;
  } cases[] = {
      {"empty file", {}, "the file is empty, not a GDSII stream"},
      {"no ENDLIB", Opening(), "ends without ENDLIB"},
      {"cut header", Join({Opening(), {0x00, 0x04}}), "ends inside a record header"},
      {"zero length", Join({Opening(), {0, 0, kGdsEndLib, 0}}), "length 0 is below 4"},
      {"length 2", Join({Opening(), {0, 2, kGdsEndLib, 0}}), "length 2 is below 4"},
      {"odd length", Join({Opening(), Rec(kGdsStrName, kGdsTypeAscii, {'A', 'B', 'C'}), EndLib()}),
       "STRNAME at offset 60: length 7 is odd"},
      {"cut data", Join({Opening(), Rec(kGdsStrName, kGdsTypeAscii, {'A', 'B'}, 12)}),
       "ends inside the record (12 bytes needed, 6 left)"},
      {"data type 7", Join({Opening(), Rec(kGdsEndEl, 7), EndLib()}),
       "ENDEL at offset 60: unknown data type 7"},
      {"data type 255", Join({Opening(), Rec(140, 255, {0, 0}), EndLib()}),
       "unknown data type 255"},
      {"odd XY", Join({Opening(), Rec(kGdsXy, kGdsTypeInt32, Bytes(6)), EndLib()}),
       "6 data bytes do not suit data type 3"},
      {"short real", Join({Opening(), Rec(kGdsMag, kGdsTypeReal8, Bytes(4)), EndLib()}),
       "4 data bytes do not suit data type 5"},
      {"data without data type", Join({Opening(), Rec(kGdsEndEl, kGdsTypeNone, {1, 2}), EndLib()}),
       "2 data bytes do not suit data type 0"},
  };
  for (const auto& c : cases) {
    const std::string error = ReadAll(c.bytes);
    EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
  }
}

// A file that is no GDSII stream at all, most often a compressed one, is named as such
// instead of by the first check its bytes happen to fail.
TEST(RecordReaderTest, ACompressedFileOrOneThatIsNoStreamIsNamedAsSuch) {
  const Bytes stream = Join({Opening(), EndLib()});
  const struct {
    const char* what;
    Bytes bytes;
    std::string error;
  } cases[] = {
      // gzip's own head (magic, deflate, no flags, mtime, extra flags, OS), then data.
      {"gzip", Join({{0x1f, 0x8b, 0x08, 0x00, 0, 0, 0, 0, 0x00, 0x03}, stream}),
       "the file is compressed (gzip), not a GDSII stream; decompress it first (gunzip)"},
      {"compress", Join({{0x1f, 0x9d, 0x90}, stream}),
       "the file is compressed (compress), not a GDSII stream; decompress it first (uncompress)"},
      {"bzip2", Join({{'B', 'Z', 'h', '9', 0x31, 0x41}, stream}),
       "the file is compressed (bzip2), not a GDSII stream; decompress it first (bunzip2)"},
      {"xz", Join({{0xfd, '7', 'z', 'X', 'Z', 0}, stream}),
       "the file is compressed (xz), not a GDSII stream; decompress it first (unxz)"},
      {"zstd", Join({{0x28, 0xb5, 0x2f, 0xfd}, stream}),
       "the file is compressed (zstd), not a GDSII stream; decompress it first (unzstd)"},
      {"zip", Join({{'P', 'K', 3, 4}, stream}),
       "the file is compressed (zip), not a GDSII stream; decompress it first (unzip)"},
      {"text",
       {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'},
       "the file is not a GDSII stream: it does not begin with a HEADER record (record 108 at "
       "offset 0: length 26725 is odd)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadAll(c.bytes), c.error) << c.what;
  }
  // The check is the first record's: the same bytes later in a stream are a record's fault,
  // and a valid stream that opens with HEADER reads as before.
  const std::string inside = ReadAll(Join({Opening(), {0x1f, 0x8b, 0x08, 0x00}, EndLib()}));
  EXPECT_EQ(inside, "record BOUNDARY at offset 60: length 8075 is odd");
  EXPECT_EQ(ReadAll(stream), "");
}

TEST(RecordReaderTest, RecordsOverTheCallersLimitAreRefused) {
  const Bytes stream = Join({Opening(), Rec(kGdsString, kGdsTypeAscii, Bytes(200, 'x')), EndLib()});
  EXPECT_EQ(ReadAll(stream), "");
  EXPECT_NE(ReadAll(stream, 100).find("length 204 exceeds the limit of 100"), std::string::npos);
}

TEST(RecordReaderTest, StopsAtEndLibAndIgnoresWhatFollows) {
  size_t count = 0;
  EXPECT_EQ(
      ReadAll(Join({Opening(), EndLib(), {0, 1, 0xFF, 0xFF, 0x00}}), kGdsMaxRecordLength, &count),
      "");
  EXPECT_EQ(count, 5u);
}

TEST(RecordReaderTest, DecodersNeverReadPastTheData) {
  const Bytes stream = Join({Opening(), EndLib()});
  GdsRecordReader reader;
  reader.OpenBytes(stream);
  GdsRecord record;
  ASSERT_EQ(reader.Next(&record), GdsReadStatus::kRecord);  // HEADER
  EXPECT_EQ(record.Count(), 1u);
  EXPECT_EQ(record.Int16(0), 3);
  EXPECT_EQ(record.Int16(1), std::nullopt);
  EXPECT_EQ(record.Int32(0), std::nullopt);
  EXPECT_EQ(record.Real8(0), std::nullopt);
  EXPECT_EQ(record.bytes.size(), 6u);
  ASSERT_EQ(reader.Next(&record), GdsReadStatus::kRecord);  // BGNLIB
  ASSERT_EQ(reader.Next(&record), GdsReadStatus::kRecord);  // LIBNAME
  EXPECT_EQ(record.Text(), "L");
  ASSERT_EQ(reader.Next(&record), GdsReadStatus::kRecord);  // UNITS
  EXPECT_EQ(record.offset, 40u);
  EXPECT_EQ(record.Count(), 2u);
  EXPECT_DOUBLE_EQ(*record.Real8(1), 1e-9);
  EXPECT_EQ(record.Real8(2), std::nullopt);
  EXPECT_EQ(record.Int32(2), 0x3944B82F);
  EXPECT_EQ(record.Int32(3), static_cast<int32_t>(0xA09B5A55u));
  EXPECT_EQ(record.Int32(4), std::nullopt);
}

TEST(RecordReaderTest, FilesStreamThroughTheBufferAndRewind) {
  testing::ScratchDir dir;
  GdsWriter writer;
  ASSERT_EQ(writer.OpenLibrary(dir.File("BIG.GDS"), "UM", 0.001, "", 1.0, false), kGdsOk);
  ASSERT_EQ(writer.BeginStructure("TOP"), kGdsOk);
  const int kCount = 40000;
  for (int i = 0; i < kCount; ++i) {
    const double x = i * 0.001;
    const GdsPoint square[] = {{x, 0}, {x + 1, 0}, {x + 1, 1}, {x, 1}, {x, 0}};
    ASSERT_EQ(writer.WriteBoundary(std::span(square, 4 + i % 2), i % 64, 0, i % 2, i), kGdsOk);
  }
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);

  // A file is mapped whole: its records stay valid and lie next to each other.
  GdsRecordReader reader(0);
  ASSERT_TRUE(reader.Open(dir.File("big.gds")));  // the name is found without its case
  EXPECT_TRUE(reader.whole());
  std::vector<std::string> from_file;
  for (int pass = 0; pass < 2; ++pass) {
    GdsRecord record;
    int boundaries = 0;
    int64_t sum = 0;
    GdsReadStatus status;
    const uint8_t* next = nullptr;
    while ((status = reader.Next(&record)) == GdsReadStatus::kRecord) {
      if (next != nullptr) {
        EXPECT_EQ(record.bytes.data(), next);
      }
      next = record.bytes.data() + record.bytes.size();
      if (pass == 0) from_file.push_back(Described(record));
      if (record.type == kGdsBoundary) ++boundaries;
      if (record.type == kGdsXy) sum += *record.Int32(0);
      if (record.type == kGdsPropValue) sum -= *record.Int32(0);
    }
    EXPECT_EQ(status, GdsReadStatus::kEnd) << reader.error();
    EXPECT_EQ(boundaries, kCount);
    EXPECT_NE(sum, 0);
    ASSERT_TRUE(reader.Rewind());
  }

  // Through a pipe the smallest buffer refills often, with records across its end, and
  // gives the same records at the same offsets.
  const std::string fifo = dir.File("pipe.gds");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::thread feeder([&] {
    std::ifstream in(dir.File("BIG.GDS"), std::ios::binary);
    std::ofstream out(fifo, std::ios::binary);
    out << in.rdbuf();
  });
  GdsRecordReader piped(0);
  ASSERT_TRUE(piped.Open(fifo));
  EXPECT_FALSE(piped.whole());
  std::vector<std::string> from_pipe;
  GdsRecord record;
  GdsReadStatus status;
  while ((status = piped.Next(&record)) == GdsReadStatus::kRecord) {
    from_pipe.push_back(Described(record));
  }
  feeder.join();
  EXPECT_EQ(status, GdsReadStatus::kEnd) << piped.error();
  EXPECT_EQ(from_pipe, from_file);
}

TEST(RecordReaderTest, AFileCutShortWhileItIsReadIsAnErrorNotACrash) {
  testing::ScratchDir dir;
  GdsWriter writer;
  ASSERT_EQ(writer.OpenLibrary(dir.File("cut.gds"), "UM", 0.001, "", 1.0, false), kGdsOk);
  ASSERT_EQ(writer.BeginStructure("TOP"), kGdsOk);
  for (int i = 0; i < 60000; ++i) {
    const double x = i * 0.001;
    const GdsPoint square[] = {{x, 0}, {x + 1, 0}, {x + 1, 1}, {x, 1}, {x, 0}};
    ASSERT_EQ(writer.WriteBoundary(std::span(square, 4), 1, 0, 0, 0), kGdsOk);
  }
  ASSERT_EQ(writer.EndStructure(), kGdsOk);
  ASSERT_EQ(writer.EndLibrary(), kGdsOk);

  GdsRecordReader reader;
  ASSERT_TRUE(reader.Open(dir.File("cut.gds")));
  ASSERT_TRUE(reader.whole());
  GdsRecord record;
  for (int i = 0; i < 100; ++i) ASSERT_EQ(reader.Next(&record), GdsReadStatus::kRecord);
  // Another program empties most of the file (as one that writes it again in place).
  ASSERT_EQ(::truncate(dir.File("cut.gds").c_str(), 65536), 0);
  GdsReadStatus status;
  size_t records = 0;
  while ((status = reader.Next(&record)) == GdsReadStatus::kRecord) ++records;
  EXPECT_EQ(status, GdsReadStatus::kError);
  EXPECT_NE(reader.error().find("cut short"), std::string::npos) << reader.error();
  EXPECT_LT(records, 10000u);
  // The reader and the process go on: a new file reads whole.
  ASSERT_TRUE(reader.Open(dir.File("cut.gds")));
  while ((status = reader.Next(&record)) == GdsReadStatus::kRecord) {
  }
  EXPECT_EQ(status, GdsReadStatus::kError);  // the file now ends without ENDLIB
  EXPECT_EQ(reader.error().find("cut short"), std::string::npos) << reader.error();
}

TEST(RecordReaderTest, MissingFileAndNativeOrder) {
  GdsRecordReader reader;
  EXPECT_FALSE(reader.Open("/nonexistent/x.gds"));
  EXPECT_NE(reader.error().find("/nonexistent/x.gds"), std::string::npos);
  GdsRecord record;
  EXPECT_EQ(reader.Next(&record), GdsReadStatus::kError);

  const Bytes native = {0x02, 0x00, 0x06, 0x00, 0x03, 0x00, 0x00, 0x04, 0x04, 0x00};
  reader.OpenBytes(native);
  ASSERT_EQ(reader.Next(&record), GdsReadStatus::kRecord);
  EXPECT_EQ(reader.byte_order(), GdsByteOrder::kLittleEndian);
  EXPECT_EQ(record.type, kGdsHeader);
  EXPECT_EQ(record.Int16(0), 3);
  ASSERT_EQ(reader.Next(&record), GdsReadStatus::kRecord);
  EXPECT_EQ(record.type, kGdsEndLib);
  EXPECT_EQ(reader.Next(&record), GdsReadStatus::kEnd);
}

TEST(LibraryModelTest, RejectsRecordsOutOfPlace) {
  const Bytes structure =
      Join({Rec(kGdsBgnStr, kGdsTypeInt16, Bytes(24)), Rec(kGdsStrName, kGdsTypeAscii, {'S', 0})});
  const Bytes endstr = Rec(kGdsEndStr, kGdsTypeNone);
  const Bytes boundary = Rec(kGdsBoundary, kGdsTypeNone);
  const Bytes endel = Rec(kGdsEndEl, kGdsTypeNone);
  const Bytes layer = Rec(kGdsLayer, kGdsTypeInt16, {0, 1});
  const struct {
    const char* what;
    Bytes bytes;
    std::string error;
  } cases[] = {
      {"no HEADER", Join({EndLib()}), "does not begin with HEADER"},
      {"field outside", Join({Opening(), structure, layer, endstr, EndLib()}),
       "LAYER at offset 94: outside an element"},
      {"ENDEL outside", Join({Opening(), structure, endel, endstr, EndLib()}),
       "outside an element"},
      {"unended element", Join({Opening(), structure, boundary, boundary, endel, endstr, EndLib()}),
       "BOUNDARY at offset 98: inside an unfinished BOUNDARY element"},
      {"unended structure", Join({Opening(), structure, EndLib()}), "inside structure 'S'"},
      {"ENDSTR alone", Join({Opening(), endstr, EndLib()}), "outside a structure"},
      {"PROPVALUE alone",
       Join({Opening(), structure, boundary, Rec(kGdsPropValue, kGdsTypeAscii, {0, 0, 0, 1}), endel,
             endstr, EndLib()}),
       "PROPVALUE without PROPATTR"},
      {"LAYER as int32",
       Join({Opening(), structure, boundary, Rec(kGdsLayer, kGdsTypeInt32, {0, 0, 0, 1}), endel,
             endstr, EndLib()}),
       "data type 3, expected 2"},
      {"COLROW short",
       Join({Opening(), structure, Rec(kGdsAref, kGdsTypeNone),
             Rec(kGdsColRow, kGdsTypeInt16, {0, 1}), endel, endstr, EndLib()}),
       "holds 1 values, expected at least 2"},
      {"ENDEL in a setting",
       Join({Opening(), Rec(kGdsExtNamedSetting, kGdsTypeNone), endel, EndLib()}),
       "ends no element"},
      {"UNITS short",
       Join({Rec(kGdsHeader, kGdsTypeInt16, {0, 3}), Rec(kGdsUnits, kGdsTypeReal8, Bytes(8)),
             EndLib()}),
       "expected at least 2"},
  };
  for (const auto& c : cases) {
    GdsRecordReader reader;
    reader.OpenBytes(c.bytes);
    GdsLibrary library;
    std::string error;
    EXPECT_EQ(GdsReadLibrary(reader, &library, &error), 1) << c.what;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
  }
}

TEST(LibraryModelTest, KeepsUnknownRecordsAndReportsFramingErrors) {
  const Bytes stream =
      Join({Opening(), Rec(34, kGdsTypeInt16, {0, 3}),  // GENERATIONS at library level
            Rec(kGdsBgnStr, kGdsTypeInt16, Bytes(24)), Rec(kGdsStrName, kGdsTypeAscii, {'S', 0}),
            Rec(kGdsBoundary, kGdsTypeNone), Rec(47, kGdsTypeInt32, {0, 0, 0, 9}),  // PLEX
            Rec(kGdsLayer, kGdsTypeInt16, {0, 4}), Rec(kGdsEndEl, kGdsTypeNone),
            Rec(kGdsEndStr, kGdsTypeNone), EndLib()});
  GdsRecordReader reader;
  reader.OpenBytes(stream);
  GdsLibrary library;
  std::string error;
  ASSERT_EQ(GdsReadLibrary(reader, &library, &error), 0) << error;
  ASSERT_EQ(library.structures.size(), 1u);
  const GdsElement& element = library.structures[0].elements.at(0);
  ASSERT_EQ(element.records.size(), 2u);
  EXPECT_EQ(element.records[0].type, 47);
  EXPECT_EQ(element.layer, 4);

  reader.OpenBytes(Bytes(stream.begin(), stream.end() - 2));
  EXPECT_EQ(GdsReadLibrary(reader, &library, &error), 1);
  EXPECT_NE(error.find("ends inside a record header"), std::string::npos) << error;
}

}  // namespace
}  // namespace kavrinth
