// Files packed by a compression program, known by their first bytes: readers of outside
// files name them rather than report them as damaged data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kavrinth {

// The longest head by which a compressed file is known.
inline constexpr size_t kCompressedHeadBytes = 4;

// For a file whose first bytes (up to kCompressedHeadBytes of them) are given: "the file
// is compressed (gzip), not <what>; decompress it first (gunzip)", or an empty text when
// they begin no compressed file.
std::string CompressedFileReason(std::span<const uint8_t> head, std::string_view what);

}  // namespace kavrinth
