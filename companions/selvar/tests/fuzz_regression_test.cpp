// Findings of fuzzing selvar's scan of a GDSII file, kept as cases.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "companions/selvar/gds_scan.h"
#include "gdsii/encoding.h"
#include "gdsii/records.h"

namespace kavrinth {
namespace {

// The bytes of one record.
std::string Record(int type, int data_type, const std::vector<uint8_t>& data = {}) {
  const size_t length = 4 + data.size();
  std::string bytes = {static_cast<char>(length >> 8), static_cast<char>(length),
                       static_cast<char>(type), static_cast<char>(data_type)};
  return bytes + std::string(data.begin(), data.end());
}

std::string Int16(int type, int value) {
  return Record(type, kGdsTypeInt16,
                {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)});
}

std::string Int32(int type, int32_t value) {
  std::vector<uint8_t> data(4);
  GdsPutInt32(value, std::span<uint8_t, 4>(data.data(), 4));
  return Record(type, kGdsTypeInt32, data);
}

std::string Ascii(int type, std::string text) {
  if (text.size() % 2 != 0) text.push_back('\0');
  return Record(type, kGdsTypeAscii, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string Units() {
  std::vector<uint8_t> data(16);
  GdsReal8(0.001, std::span<uint8_t, 8>(data.data(), 8));
  GdsReal8(1e-9, std::span<uint8_t, 8>(data.data() + 8, 8));
  return Record(kGdsUnits, kGdsTypeReal8, data);
}

class SelvarFuzzRegressionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = "/tmp/selvar-regression-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  // A library whose structure TOP holds the given element records.
  std::string Library(const std::string& elements) const {
    const std::string path = directory_ + "/input.gds";
    std::ofstream(path, std::ios::binary)
        << Int16(kGdsHeader, 600) << Record(kGdsBgnLib, kGdsTypeInt16, std::vector<uint8_t>(24))
        << Ascii(kGdsLibName, "LIB") << Units()
        << Record(kGdsBgnStr, kGdsTypeInt16, std::vector<uint8_t>(24)) << Ascii(kGdsStrName, "TOP")
        << elements << Record(kGdsEndStr, kGdsTypeNone) << Record(kGdsEndLib, kGdsTypeNone);
    return path;
  }

  std::string directory_;
};

// A path with a width but no XY record: its outline was looked for behind the end of its
// empty point list. It is counted and adds nothing to the extents.
TEST_F(SelvarFuzzRegressionTest, AWidePathWithoutPointsIsCountedAndHasNoOutline) {
  for (int pathtype : {0, 2, 4}) {
    SCOPED_TRACE(pathtype);
    const std::string path = Library(Record(kGdsPath, kGdsTypeNone) + Int16(kGdsLayer, 3) +
                                     Int16(kGdsDataType, 0) + Int16(kGdsPathType, pathtype) +
                                     Int32(kGdsWidth, 200) + Record(kGdsEndEl, kGdsTypeNone));
    GdsScan scan;
    std::string error;
    ASSERT_EQ(ScanGdsFile(path, 0, &scan, &error), 0) << error;
    ASSERT_EQ(scan.structures.size(), 1u);
    EXPECT_EQ(scan.structures[0].counts[kCountPath], 1u);
    EXPECT_TRUE(scan.structures[0].hull.empty());
    EXPECT_TRUE(scan.layers.test(3));
  }
}

}  // namespace
}  // namespace kavrinth
