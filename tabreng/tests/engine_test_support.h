// Helpers of the engine tests: a scratch working directory with the support files the
// engine wants beside it, small files, GDSII layouts written with the stream writer,
// and the records of a translated stream read back.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gdsii/record_reader.h"
#include "gdsii/writer.h"
#include "tabreng/tests/recording_pg_library.h"

namespace kavrinth::testing {

// A fresh directory under /tmp that is the current directory while the object lives,
// with a "bin" directory holding empty stand-ins of the engine's support files.
class ScratchJob {
 public:
  ScratchJob() {
    std::string pattern = "/tmp/tabreng-test-XXXXXX";
    path_ = mkdtemp(pattern.data());
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
    std::filesystem::create_directory(bin());
    for (const char* name : {"selvar", "libquenrix.so", "mirelt.shx"})
      Write(bin() + "/" + name, "");
  }
  ~ScratchJob() {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(path_);
  }
  ScratchJob(const ScratchJob&) = delete;
  ScratchJob& operator=(const ScratchJob&) = delete;

  const std::string& path() const { return path_; }
  std::string bin() const { return path_ + "/bin"; }

  static void Write(const std::string& name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
  }
  static std::string Read(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static bool Exists(const std::string& name) { return std::filesystem::exists(name); }

 private:
  std::string path_;
  std::filesystem::path previous_;
};

using Points = std::vector<GdsIntPoint>;

// A library written with the stream writer, every structure at level 0.
class Layout {
 public:
  // unit "UM" or "MIL"; database units per user unit 1000.
  explicit Layout(const std::string& path, const std::string& unit = "UM") {
    EXPECT_EQ(writer_.OpenLibrary(path, unit, 0.001, "", 1.0, false), kGdsOk);
    writer_.SetFlags(kGdsNoSpooling);
  }
  void Begin(const std::string& name) { EXPECT_EQ(writer_.BeginStructure(name), kGdsOk); }
  void End() { EXPECT_EQ(writer_.EndStructure(), kGdsOk); }
  void Boundary(int layer, const Points& points) {
    EXPECT_EQ(writer_.WriteBoundaryEx(std::span<const GdsIntPoint>(points), layer, 0, 0, 0),
              kGdsOk);
  }
  void Box(int layer, const Points& points) {
    EXPECT_EQ(writer_.WriteBox(std::span<const GdsIntPoint>(points), layer, 0, 0, 0), kGdsOk);
  }
  void Path(int layer, int32_t width, int pathtype, const Points& points) {
    EXPECT_EQ(
        writer_.WritePathEx(std::span<const GdsIntPoint>(points), layer, 0, width, pathtype, 0, 0),
        kGdsOk);
  }
  void Sref(const std::string& name, GdsIntPoint at) {
    EXPECT_EQ(writer_.WriteSrefEx(name, at, 1.0, 0.0, false, 0, 0), kGdsOk);
  }
  void Text(int layer, const std::string& text, GdsIntPoint at) {
    EXPECT_EQ(writer_.WriteTextEx(layer, 0, 0, 0, 0, 0, false, false, int32_t{0}, 1.0, 0.0, at,
                                  text, 0, 0),
              kGdsOk);
  }
  // A text with its presentation, reflection, magnification and angle.
  struct TextStyle {
    int font = 0;
    int horizontal = 0;
    int vertical = 0;
    bool reflect = false;
    double magnification = 1.0;
    double angle = 0;
  };
  void StyledText(int layer, const std::string& text, GdsIntPoint at, const TextStyle& style) {
    EXPECT_EQ(writer_.WriteTextEx(layer, 0, style.font, style.horizontal, style.vertical, 0,
                                  style.reflect, false, int32_t{0}, style.magnification,
                                  style.angle, at, text, 0, 0),
              kGdsOk);
  }
  // An array of the structure: origin, column end and row end points.
  void Aref(const std::string& name, const Points& points, int columns, int rows,
            double magnification, double angle, bool reflect) {
    EXPECT_EQ(writer_.WriteArefEx(name, std::span<const GdsIntPoint>(points), std::nullopt, columns,
                                  rows, magnification, angle, reflect, 0, 0),
              kGdsOk);
  }
  // A path with a property (attribute and value).
  void PathWithProperty(int layer, int32_t width, int pathtype, const Points& points, int attribute,
                        int32_t value) {
    EXPECT_EQ(writer_.WritePathEx(std::span<const GdsIntPoint>(points), layer, 0, width, pathtype,
                                  attribute, value),
              kGdsOk);
  }
  void Finish() { EXPECT_EQ(writer_.EndLibrary(), kGdsOk); }

 private:
  GdsWriter writer_;
};

// A square of side `size` with its lower-left corner at (x, y), closed.
inline Points Square(int32_t x, int32_t y, int32_t size) {
  return {{x, y}, {x + size, y}, {x + size, y + size}, {x, y + size}, {x, y}};
}

struct ReadRecord {
  int type;
  std::vector<uint8_t> bytes;
  std::vector<int32_t> ints;  // Int16 or Int32 items
  std::string text;
};

// Every record of a stream file, ENDLIB included; fails the test on a framing error.
inline std::vector<ReadRecord> ReadRecords(const std::string& path) {
  std::vector<ReadRecord> records;
  GdsRecordReader reader;
  EXPECT_TRUE(reader.Open(path)) << path;
  GdsRecord record;
  GdsReadStatus status;
  while ((status = reader.Next(&record)) == GdsReadStatus::kRecord) {
    ReadRecord r{record.type, {record.bytes.begin(), record.bytes.end()}, {}, ""};
    for (size_t i = 0; i < record.Count(); ++i) {
      if (record.data_type == kGdsTypeInt16) r.ints.push_back(*record.Int16(i));
      if (record.data_type == kGdsTypeInt32) r.ints.push_back(*record.Int32(i));
    }
    if (record.data_type == kGdsTypeAscii) r.text = std::string(record.Text());
    records.push_back(std::move(r));
  }
  EXPECT_EQ(status, GdsReadStatus::kEnd) << reader.error();
  return records;
}

// Whether two edges of a closed ring (x, y pairs, the first point repeated at the end)
// that do not follow each other cross properly, each passing through the other.
inline bool CrossesItself(const std::vector<int32_t>& ring) {
  const size_t edges = ring.size() / 2 - 1;
  const auto side = [&](size_t a, size_t b, size_t c) {
    const int64_t value =
        (int64_t{ring[2 * b]} - ring[2 * a]) * (int64_t{ring[2 * c + 1]} - ring[2 * a + 1]) -
        (int64_t{ring[2 * b + 1]} - ring[2 * a + 1]) * (int64_t{ring[2 * c]} - ring[2 * a]);
    return (value > 0) - (value < 0);
  };
  for (size_t i = 0; i < edges; ++i) {
    for (size_t j = i + 2; j < edges; ++j) {
      if (i == 0 && j == edges - 1) continue;  // they meet at the first point
      if (side(i, i + 1, j) * side(i, i + 1, j + 1) < 0 &&
          side(j, j + 1, i) * side(j, j + 1, i + 1) < 0) {
        return true;
      }
    }
  }
  return false;
}

inline int CountType(const std::vector<ReadRecord>& records, int type) {
  int count = 0;
  for (const ReadRecord& r : records) count += r.type == type;
  return count;
}

// The PG library's calls in order, one text each: the call, and for a polygon or path its
// structure name (with the fixup when asked) and its points.
inline std::vector<std::string> PgCallTexts(const RecordingPgLibrary& pg, bool with_fixup) {
  std::vector<std::string> texts;
  size_t polygon = 0, path = 0;
  for (const std::string& call : pg.order) {
    const RecordingPgLibrary::PolygonCall* c = call == "PG"     ? &pg.polygons.at(polygon++)
                                               : call == "PATH" ? &pg.paths.at(path++)
                                                                : nullptr;
    std::string text = call;
    if (c != nullptr) {
      text += " " + c->name;
      if (with_fixup) text += " " + std::to_string(c->fixup);
      for (int32_t value : c->points) text += " " + std::to_string(value);
    }
    texts.push_back(text);
  }
  return texts;
}

}  // namespace kavrinth::testing
