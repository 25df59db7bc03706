// Helpers of the WF2, clipping and GDSII-format tests: a scratch directory, file bytes, a
// WF2 pattern built and parsed independently of the writer and the scanner, and a file
// size limit that makes writes fail.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/paths.h"
#include "testing/temp_dir.h"
#include "viewer/model/wf2_format.h"

namespace kavrinth::testing {

// A fresh directory under /tmp, also the working directory (temporary names go there);
// removed with its content at the end.
class ScratchDir {
 public:
  ScratchDir() : dir_("wf2") { SetWorkingDirectory(dir_.path()); }
  ~ScratchDir() { SetWorkingDirectory(""); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string File(const std::string& name) const { return dir_.File(name); }
  // Names in the directory, sorted (temporaries left behind show up here).
  std::vector<std::string> Entries() const { return dir_.Entries(); }

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

// Writes beyond `bytes` fail (EFBIG) while it lives.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previous_handler_ = signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limit = previous_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    signal(SIGXFSZ, previous_handler_);
  }

 private:
  rlimit previous_{};
  sighandler_t previous_handler_;
};

// A WF2 pattern as lists: frames in file order, each a list of polygons of 16-bit points.
using Wf2Point = std::array<uint16_t, 2>;
using Wf2Polygon = std::vector<Wf2Point>;
using Wf2Frame = std::vector<Wf2Polygon>;

inline void PushWord(std::vector<uint8_t>* bytes, uint8_t b0, uint8_t b1, uint16_t value) {
  bytes->insert(bytes->end(),
                {b0, b1, static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)});
}

// The bytes of a complete WF2 file in the record order of the format.
inline std::vector<uint8_t> BuildWf2(const Wf2Header& header, const std::vector<Wf2Frame>& frames) {
  Wf2HeaderBlock block{};
  EncodeWf2Header(header, &block);
  std::vector<uint8_t> bytes(block.begin(), block.end());
  PushWord(&bytes, 0x80, 0x00, 0);
  const int64_t count = header.frame_count();
  for (int64_t k = 0; k < count; ++k) {
    const int64_t f = k % header.frames_per_strip;
    if (f == 0) PushWord(&bytes, 0x80, 0x01, static_cast<uint16_t>(k / header.frames_per_strip));
    PushWord(&bytes, 0x80, 0x02, static_cast<uint16_t>(f));
    if (k < static_cast<int64_t>(frames.size())) {
      for (const Wf2Polygon& polygon : frames[k]) {
        PushWord(&bytes, 0x80, 0x03, static_cast<uint16_t>(polygon.size()));
        for (const Wf2Point& p : polygon)
          PushWord(&bytes, static_cast<uint8_t>(p[0] >> 8), static_cast<uint8_t>(p[0]), p[1]);
        PushWord(&bytes, 0x80, 0x07, 0);
      }
    }
    PushWord(&bytes, 0x80, 0x06, 0);
    if (f == header.frames_per_strip - 1) PushWord(&bytes, 0x80, 0x05, 0);
  }
  PushWord(&bytes, 0x80, 0x04, 0);
  return bytes;
}

// The frames of a WF2 file's word stream (header skipped); the test fails on a record out
// of its place.
inline std::vector<Wf2Frame> ParseWf2(const std::vector<uint8_t>& bytes) {
  std::vector<Wf2Frame> frames;
  EXPECT_GE(bytes.size(), static_cast<size_t>(kWf2HeaderSize));
  size_t i = kWf2HeaderSize;
  const auto word = [&](size_t at) {
    return std::array<uint8_t, 4>{bytes[at], bytes[at + 1], bytes[at + 2], bytes[at + 3]};
  };
  bool in_frame = false;
  while (i + 4 <= bytes.size()) {
    const auto w = word(i);
    EXPECT_EQ(w[0], 0x80) << "at " << i;
    if (w[1] == 0x02) {
      frames.emplace_back();
      in_frame = true;
    } else if (w[1] == 0x06) {
      in_frame = false;
    } else if (w[1] == 0x03) {
      EXPECT_TRUE(in_frame) << "polygon outside a frame at " << i;
      const size_t n = (size_t{w[2]} << 8) | w[3];
      Wf2Polygon polygon;
      for (size_t p = 0; p < n && i + 8 + 4 * p <= bytes.size(); ++p) {
        const auto pw = word(i + 4 + 4 * p);
        polygon.push_back(
            {static_cast<uint16_t>(pw[0] << 8 | pw[1]), static_cast<uint16_t>(pw[2] << 8 | pw[3])});
      }
      frames.back().push_back(polygon);
      i += 4 * n;
      EXPECT_EQ(word(i + 4)[1], 0x07) << "polygon without its end word at " << i;
      i += 4;
    }
    i += 4;
  }
  return frames;
}

inline Wf2Header SmallHeader(int32_t strips, int32_t frames, bool serpentine) {
  Wf2Header header;
  header.year = 1999;
  header.day = 365;
  header.grid = 1.0f;
  header.frame_width = 100;
  header.frame_height = 50;
  header.motion = serpentine ? 1 : 0;
  header.strips = strips;
  header.frames_per_strip = frames;
  return header;
}

}  // namespace kavrinth::testing
