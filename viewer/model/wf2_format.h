// The WF2 frame-and-strip pattern format, described once: the 16384-byte header block,
// the record heads of the word stream, the frame geometry and the readers' limits.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kavrinth {

// Every value of a WF2 file is big-endian; records are whole 4-byte words.
inline constexpr int64_t kWf2HeaderSize = 16384;
inline constexpr int64_t kWf2WordSize = 4;

// Byte offsets of the header fields.
enum Wf2HeaderOffset : int {
  kWf2Year = 0,
  kWf2Day = 4,
  kWf2Grid = 8,
  kWf2FrameWidth = 12,
  kWf2FrameHeight = 16,
  kWf2GlassWidth = 20,
  kWf2GlassHeight = 24,
  kWf2Motion = 28,
  kWf2Name = 32,
  kWf2Strips = 96,
  kWf2FramesPerStrip = 100,
  kWf2HalfWidth = 104,
  kWf2HalfHeight = 108,
  kWf2Word112 = 112,
  kWf2Word116 = 116,
  kWf2Word120 = 120,
};
inline constexpr size_t kWf2NameSize = 64;

// The names the viewer shows the header's fields by, with their offsets.
struct Wf2HeaderLabel {
  int offset;
  const char* name;
};
inline constexpr std::array<Wf2HeaderLabel, 8> kWf2HeaderLabels = {{
    {kWf2Grid, "Grid"},
    {kWf2FrameWidth, "Frame Width"},
    {kWf2FrameHeight, "Frame Height"},
    {kWf2GlassWidth, "Glass Width"},
    {kWf2GlassHeight, "Glass Height"},
    {kWf2Motion, "Motion"},
    {kWf2Strips, "Number of Strips"},
    {kWf2FramesPerStrip, "Number of Frames/Strips"},
}};
// The name of the field at the header offset; null for a field without one.
inline const char* Wf2HeaderLabelAt(int offset) {
  for (const Wf2HeaderLabel& label : kWf2HeaderLabels) {
    if (label.offset == offset) return label.name;
  }
  return nullptr;
}

// The second byte of a record head (the first is always 0x80).
enum Wf2RecordCode : uint8_t {
  kWf2DataStart = 0,
  kWf2BeginStrip = 1,
  kWf2BeginFrame = 2,
  kWf2Polygon = 3,
  kWf2EndOfData = 4,
  kWf2EndOfStrip = 5,
  kWf2EndOfFrame = 6,
  kWf2EndOfPolygon = 7,
};
inline constexpr uint8_t kWf2HeadByte = 0x80;

// Strip and frame numbers share the head word with the record code, and coordinates are
// 16 bits: a pattern has at most 65536 strips, frames per strip, and steps per frame side.
inline constexpr int64_t kWf2MaxCount = 65536;
// The readers take a polygon record with its head into a 32768-byte buffer.
inline constexpr int32_t kWf2MaxPolygonPoints = 8191;
inline constexpr int64_t kWf2ReadBlock = 32768;

// The decoded header. The date is set by the writer when it builds a header.
struct Wf2Header {
  int32_t year = 0;
  int32_t day = 0;
  float grid = 1.0f;         // micrometres per grid step
  int32_t frame_width = 0;   // W, grid steps
  int32_t frame_height = 0;  // H
  int32_t glass_width = 508;
  int32_t glass_height = 508;
  int32_t motion = 0;            // 0 unidirectional, other serpentine
  std::string name;              // at most 64 characters
  int32_t strips = 0;            // S
  int32_t frames_per_strip = 0;  // F
  int32_t half_width = 0;        // as stored (W * S / 2 when written)
  int32_t half_height = 0;       // as stored (H * F / 2 when written)

  bool serpentine() const { return motion != 0; }
  int64_t frame_count() const { return int64_t{strips} * frames_per_strip; }
};

using Wf2HeaderBlock = std::array<uint8_t, kWf2HeaderSize>;

uint32_t Wf2GetWord(std::span<const uint8_t, 4> bytes);
void Wf2PutWord(uint32_t value, std::span<uint8_t, 4> out);

// The header block of the values (the half sizes and words 112-120 computed, the name
// cut to 64 characters and NUL-padded).
void EncodeWf2Header(const Wf2Header& header, Wf2HeaderBlock* block);
// The values of a header block (the first 112 bytes are read).
Wf2Header DecodeWf2Header(std::span<const uint8_t> block);
// Empty when the geometry can be written and read: a positive finite grid, frame sides,
// strip and frame counts from 1 to 65536; else what is wrong.
std::string Wf2GeometryProblem(const Wf2Header& header);
// Why a file of file_size bytes cannot hold the frames its header names (every frame takes
// a begin and an end word), or empty. Such a header promises what the stream never held:
// reading it as a whole pattern would make a save write every frame it names (up to
// 65536 x 65536, tens of gigabytes for a file of a few kilobytes).
std::string Wf2StreamProblem(const Wf2Header& header, int64_t file_size);

// The position of a WF2 frame: strip and position in the strip (file order).
struct Wf2FramePlace {
  int64_t strip = 0;
  int64_t position = 0;
};
inline Wf2FramePlace Wf2PlaceOfFrame(int64_t frame, int32_t frames_per_strip) {
  return {frame / frames_per_strip, frame % frames_per_strip};
}
// The row (counted from the top of the pattern) of a position: odd strips of serpentine
// motion run from the bottom.
inline int64_t Wf2RowOfPosition(const Wf2Header& header, Wf2FramePlace place) {
  const bool backwards = header.serpentine() && place.strip % 2 != 0;
  return backwards ? header.frames_per_strip - 1 - place.position : place.position;
}

// Results of the WF2 writers, the merge and the save.
enum Wf2Result : int {
  kWf2Ok = 0,
  kWf2Failed = 1,     // a file could not be opened, read or written, or the input is invalid
  kWf2Limited = 2,    // written, but some polygons were refused (out of order or too large)
  kWf2Cancelled = 3,  // the user pressed Cancel; nothing was committed
};

}  // namespace kavrinth
