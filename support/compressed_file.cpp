// The heads of compressed files and the program that restores each.
#include "support/compressed_file.h"

#include <array>
#include <cstring>

namespace kavrinth {

namespace {

struct CompressedHead {
  std::array<uint8_t, kCompressedHeadBytes> bytes;
  size_t length;
  const char* format;
  const char* tool;
};
constexpr CompressedHead kCompressedHeads[] = {
    {{0x1f, 0x8b}, 2, "gzip", "gunzip"},
    {{0x1f, 0x9d}, 2, "compress", "uncompress"},
    {{'B', 'Z', 'h'}, 3, "bzip2", "bunzip2"},
    {{0xfd, '7', 'z', 'X'}, 4, "xz", "unxz"},
    {{0x28, 0xb5, 0x2f, 0xfd}, 4, "zstd", "unzstd"},
    {{'P', 'K', 3, 4}, 4, "zip", "unzip"},
};

}  // namespace

std::string CompressedFileReason(std::span<const uint8_t> head, std::string_view what) {
  for (const CompressedHead& c : kCompressedHeads) {
    if (head.size() >= c.length && std::memcmp(head.data(), c.bytes.data(), c.length) == 0) {
      return "the file is compressed (" + std::string(c.format) + "), not " + std::string(what) +
             "; decompress it first (" + c.tool + ")";
    }
  }
  return {};
}

}  // namespace kavrinth
