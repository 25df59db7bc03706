// Encoding and decoding of the WF2 header block.
#include "viewer/model/wf2_format.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace kavrinth {
namespace {

void PutAt(Wf2HeaderBlock* block, int offset, uint32_t value) {
  Wf2PutWord(value, std::span<uint8_t, 4>(block->data() + offset, 4));
}

uint32_t GetAt(std::span<const uint8_t> block, int offset) {
  if (block.size() < static_cast<size_t>(offset) + 4) return 0;
  return Wf2GetWord(std::span<const uint8_t, 4>(block.data() + offset, 4));
}

int32_t Signed(uint32_t word) { return static_cast<int32_t>(word); }

}  // namespace

uint32_t Wf2GetWord(std::span<const uint8_t, 4> bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
         uint32_t{bytes[3]};
}

void Wf2PutWord(uint32_t value, std::span<uint8_t, 4> out) {
  out[0] = static_cast<uint8_t>(value >> 24);
  out[1] = static_cast<uint8_t>(value >> 16);
  out[2] = static_cast<uint8_t>(value >> 8);
  out[3] = static_cast<uint8_t>(value);
}

void EncodeWf2Header(const Wf2Header& header, Wf2HeaderBlock* block) {
  block->fill(0);
  PutAt(block, kWf2Year, static_cast<uint32_t>(header.year));
  PutAt(block, kWf2Day, static_cast<uint32_t>(header.day));
  PutAt(block, kWf2Grid, std::bit_cast<uint32_t>(header.grid));
  PutAt(block, kWf2FrameWidth, static_cast<uint32_t>(header.frame_width));
  PutAt(block, kWf2FrameHeight, static_cast<uint32_t>(header.frame_height));
  PutAt(block, kWf2GlassWidth, static_cast<uint32_t>(header.glass_width));
  PutAt(block, kWf2GlassHeight, static_cast<uint32_t>(header.glass_height));
  PutAt(block, kWf2Motion, static_cast<uint32_t>(header.motion));
  const size_t name_length = std::min(header.name.size(), kWf2NameSize);
  std::copy_n(header.name.begin(), name_length, block->begin() + kWf2Name);
  PutAt(block, kWf2Strips, static_cast<uint32_t>(header.strips));
  PutAt(block, kWf2FramesPerStrip, static_cast<uint32_t>(header.frames_per_strip));
  // Signed division in 64 bits: the products of 16-bit sides and counts exceed 32 bits.
  const int64_t half_width = int64_t{header.frame_width} * header.strips / 2;
  const int64_t half_height = int64_t{header.frame_height} * header.frames_per_strip / 2;
  PutAt(block, kWf2HalfWidth, static_cast<uint32_t>(half_width));
  PutAt(block, kWf2HalfHeight, static_cast<uint32_t>(half_height));
  PutAt(block, kWf2Word112, 0);
  PutAt(block, kWf2Word116, static_cast<uint32_t>(header.frames_per_strip - 1));
  PutAt(block, kWf2Word120, 2);
}

Wf2Header DecodeWf2Header(std::span<const uint8_t> block) {
  Wf2Header header;
  header.year = Signed(GetAt(block, kWf2Year));
  header.day = Signed(GetAt(block, kWf2Day));
  header.grid = std::bit_cast<float>(GetAt(block, kWf2Grid));
  header.frame_width = Signed(GetAt(block, kWf2FrameWidth));
  header.frame_height = Signed(GetAt(block, kWf2FrameHeight));
  header.glass_width = Signed(GetAt(block, kWf2GlassWidth));
  header.glass_height = Signed(GetAt(block, kWf2GlassHeight));
  header.motion = Signed(GetAt(block, kWf2Motion));
  if (block.size() >= kWf2Name + kWf2NameSize) {
    const auto* name = reinterpret_cast<const char*>(block.data() + kWf2Name);
    header.name.assign(name, std::find(name, name + kWf2NameSize, '\0'));
  }
  header.strips = Signed(GetAt(block, kWf2Strips));
  header.frames_per_strip = Signed(GetAt(block, kWf2FramesPerStrip));
  header.half_width = Signed(GetAt(block, kWf2HalfWidth));
  header.half_height = Signed(GetAt(block, kWf2HalfHeight));
  return header;
}

std::string Wf2GeometryProblem(const Wf2Header& header) {
  if (!std::isfinite(header.grid) || !(header.grid > 0)) return "the grid is not a positive number";
  struct Count {
    int32_t value;
    const char* what;
  };
  const Count counts[] = {{header.frame_width, "frame width"},
                          {header.frame_height, "frame height"},
                          {header.strips, "number of strips"},
                          {header.frames_per_strip, "number of frames per strip"}};
  for (const Count& count : counts) {
    if (count.value < 1 || count.value > kWf2MaxCount) {
      return std::string("the ") + count.what + " is not between 1 and 65536";
    }
  }
  return {};
}

std::string Wf2StreamProblem(const Wf2Header& header, int64_t file_size) {
  constexpr int64_t kFrameWords = 8;  // begin of frame, end of frame
  const int64_t stream = std::max<int64_t>(0, file_size - kWf2HeaderSize);
  if (header.frame_count() <= stream / kFrameWords) return {};
  return "its header names " + std::to_string(header.frame_count()) + " frames, but the " +
         std::to_string(stream) + " bytes after the header hold at most " +
         std::to_string(stream / kFrameWords);
}

}  // namespace kavrinth
