// Helpers shared by the GDSII tests: a scratch directory, a fixed clock, and the
// records of a written file.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gdsii/library.h"
#include "gdsii/record_reader.h"
#include "gdsii/writer.h"
#include "support/paths.h"
#include "testing/temp_dir.h"

namespace kavrinth::testing {

// 1999-12-31 23:59:58: its fields are 99, 12, 31, 23, 59, 58.
inline GdsDateTime FixedTime() { return {1999, 12, 31, 23, 59, 58}; }

// A fresh directory under /tmp, also the working directory where spool files go;
// removed with its content at the end.
class ScratchDir {
 public:
  ScratchDir() : dir_("gdsii") { SetWorkingDirectory(dir_.path()); }
  ~ScratchDir() { SetWorkingDirectory(""); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return dir_.path(); }
  std::string File(const std::string& name) const { return dir_.File(name); }

  // Names of the entries other than the given ones (temporaries left behind).
  std::vector<std::string> OtherEntries(const std::vector<std::string>& known) const {
    std::vector<std::string> others;
    for (const std::string& name : dir_.Entries()) {
      if (std::find(known.begin(), known.end(), name) == known.end()) others.push_back(name);
    }
    return others;
  }

 private:
  test_support::TempDir dir_;
};

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// One record as read back: header fields and the data bytes.
struct RawRecord {
  int type = 0;
  int data_type = 0;
  std::vector<uint8_t> data;
};

// Every record of a stream up to ENDLIB (the test fails on a framing error).
inline std::vector<RawRecord> Records(const std::vector<uint8_t>& bytes) {
  std::vector<RawRecord> records;
  GdsRecordReader reader;
  reader.OpenBytes(bytes);
  GdsRecord record;
  GdsReadStatus status;
  while ((status = reader.Next(&record)) == GdsReadStatus::kRecord) {
    records.push_back({record.type, record.data_type, {record.data.begin(), record.data.end()}});
  }
  EXPECT_EQ(status, GdsReadStatus::kEnd) << reader.error();
  return records;
}

// The record types of a list of records.
inline std::vector<int> Types(const std::vector<RawRecord>& records) {
  std::vector<int> types;
  for (const RawRecord& r : records) types.push_back(r.type);
  return types;
}

// The records between the structure's STRNAME and its ENDSTR (the first structure).
inline std::vector<RawRecord> StructureBody(const std::vector<RawRecord>& records) {
  std::vector<RawRecord> body;
  bool inside = false;
  for (const RawRecord& r : records) {
    if (r.type == kGdsEndStr) break;
    if (inside) body.push_back(r);
    if (r.type == kGdsStrName) inside = true;
  }
  return body;
}

// Big-endian byte helpers for expected data.
inline std::vector<uint8_t> Be16(std::initializer_list<int> values) {
  std::vector<uint8_t> bytes;
  for (int v : values) {
    bytes.push_back(static_cast<uint8_t>(v >> 8));
    bytes.push_back(static_cast<uint8_t>(v));
  }
  return bytes;
}

inline std::vector<uint8_t> Be32(const std::vector<int32_t>& values) {
  std::vector<uint8_t> bytes;
  for (int32_t v : values) {
    const auto u = static_cast<uint32_t>(v);
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(u >> shift));
  }
  return bytes;
}

inline std::vector<uint8_t> Be32(std::initializer_list<int32_t> values) {
  return Be32(std::vector<int32_t>(values));
}

inline std::vector<uint8_t> Real(std::initializer_list<double> values) {
  std::vector<uint8_t> bytes;
  for (double v : values) {
    std::array<uint8_t, 8> b;
    GdsReal8(v, b);
    bytes.insert(bytes.end(), b.begin(), b.end());
  }
  return bytes;
}

inline std::vector<uint8_t> Ascii(std::string_view text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  if (bytes.size() % 2) bytes.push_back(0);
  return bytes;
}

// A writer on a file of the scratch directory, with the fixed clock; Open starts a
// library in micrometres with database unit 0.001 and one structure "TOP".
class WriterFixture : public ::testing::Test {
 protected:
  WriterFixture() { writer.SetClock(FixedTime); }

  void OpenWithStructure() {
    ASSERT_EQ(writer.OpenLibrary(OutputPath(), "UM", 0.001, "", 1.0, false), kGdsOk);
    ASSERT_EQ(writer.BeginStructure("TOP"), kGdsOk);
  }
  // Ends the structure and the library and returns the records of the structure.
  std::vector<RawRecord> CloseAndBody() {
    EXPECT_EQ(writer.EndStructure(), kGdsOk);
    EXPECT_EQ(writer.EndLibrary(), kGdsOk);
    return StructureBody(Records(ReadBytes(OutputPath())));
  }
  GdsLibrary ReadBack() {
    GdsLibrary library;
    std::string error;
    EXPECT_EQ(GdsReadLibrary(OutputPath(), &library, &error), 0) << error;
    return library;
  }
  std::string OutputPath() const { return dir.File("out.gds"); }

  ScratchDir dir;
  GdsWriter writer;
};

}  // namespace kavrinth::testing
