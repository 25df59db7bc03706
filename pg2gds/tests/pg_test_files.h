// Fixture for the PG reader tests: small PG files written into a fresh temporary
// directory, opened as buffered files, plus byte builders for the EBCDIC and binary formats.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pg2gds/pg_readers.h"
#include "support/buf_file.h"

namespace kavrinth {

class PgFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = "/tmp/pg_reader_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    file_.reset();
    std::filesystem::remove_all(dir_);
  }

  // Writes the bytes as a file and opens it for reading; the file stays open until the
  // next call or the end of the test.
  BufFile* Open(const std::string& bytes) {
    std::string path = dir_ + "/file" + std::to_string(++files_) + ".pg";
    std::ofstream(path, std::ios::binary) << bytes;
    file_ = BufFileOpen(path.c_str(), "rb");
    EXPECT_NE(file_, nullptr);
    return file_.get();
  }

  // Opens the bytes and detects them as the format: the reader index.
  int Detect(const std::string& bytes, int32_t format, int32_t* unit_code = nullptr) {
    int32_t unit = 0;
    return DetectPgFormat(&reader_, Open(bytes), format, unit_code ? unit_code : &unit);
  }

  // Reads records with the routine until a result other than kPgReadFlash, kPgReadSector
  // or kPgReadNothing (or a bound); the delivered flashes in *flashes, the last result
  // returned.
  int ReadAll(PgRecordReader read, std::vector<FlashRecord>* flashes) {
    for (int i = 0; i < 10000; ++i) {
      int result = read(&reader_);
      if (result == kPgReadFlash || result == kPgReadSector) {
        flashes->push_back(reader_.flash());
      } else if (result != kPgReadNothing) {
        return result;
      }
    }
    ADD_FAILURE() << "the reader never stopped";
    return 99;
  }

  PgReader reader_;
  std::string dir_;
  std::unique_ptr<BufFile> file_;
  int files_ = 0;
};

// ASCII text to EBCDIC, as PG machines write it; digits 8 and 9 as 0xF8/0xF9 (variant +1)
// or 0xFA/0xFB (variant -1).
inline std::string ToEbcdic(const std::string& text, int variant = 1) {
  static const std::map<char, unsigned char> kCodes = {
      {'X', 0xE7}, {'Y', 0xE8}, {'W', 0xE6}, {'V', 0xE5},  {'U', 0xE4}, {'S', 0xE2},
      {'Z', 0xE9}, {'H', 0xC8}, {'A', 0xC1}, {'T', 0xE3},  {'E', 0xC5}, {'M', 0xD4},
      {';', 0x5E}, {'$', 0x5B}, {'-', 0x60}, {'+', 0x4E},  {'.', 0x4B}, {'"', 0x7F},
      {'#', 0x7B}, {'<', 0x4C}, {' ', 0x40}, {'\n', 0x15}, {'J', 0xD1}};
  std::string out;
  for (char c : text) {
    if (c >= '0' && c <= '7') {
      out += static_cast<char>(0xF0 + (c - '0'));
    } else if (c == '8' || c == '9') {
      out += static_cast<char>((variant > 0 ? 0xF8 : 0xFA) + (c - '8'));
    } else {
      out += static_cast<char>(kCodes.at(c));
    }
  }
  return out;
}

// Little-endian byte builders for the binary formats.
inline void PutInt32(std::string* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(value >> (8 * i)));
}
inline void PutFloat(std::string* out, float value) {
  PutInt32(out, std::bit_cast<uint32_t>(value));
}

}  // namespace kavrinth
