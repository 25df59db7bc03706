// Fuzz target of the PG readers: the first input byte picks the format (and whether the
// file is read whole or through the buffer), detection runs on the rest, then the
// format's reader is called until it stops delivering.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz/fuzz_support.h"
#include "pg2gds/pg_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  if (size == 0) return 0;
  const int32_t format = data[0] % kPgFormatCount;
  // A file opened for writing too is not loaded whole: it is read through the buffer.
  const char* mode = (data[0] & 0x80) != 0 ? "r+b" : "rb";
  const std::string path = fuzz::ScratchDirectory::Get().Write("input.pg", data + 1, size - 1);
  std::unique_ptr<BufFile> file = BufFileOpen(path.c_str(), mode);
  if (!file) std::abort();
  PgReader reader;
  int32_t unit_code = 0;
  const int index = DetectPgFormat(&reader, file.get(), format, &unit_code);
  const PgRecordReader read = PgRecordReaderFor(index);
  if (read == nullptr) return 0;
  // Every delivered record consumes input bytes (a change of kind at most five times),
  // so a reader that goes on longer than this does not stop at all.
  const size_t limit = 2 * size + 16;
  size_t calls = 0;
  for (int result = read(&reader);
       result == kPgReadFlash || result == kPgReadSector || result == kPgReadNothing;
       result = read(&reader)) {
    if (++calls > limit) std::abort();
    int32_t x = 0, y = 0;
    for (int corner = 0; corner < kPgCornerCount; ++corner) {
      AbsoluteFlashCorner(reader.flash(), corner, &x, &y);
    }
  }
  ResetReaderState(&reader);
  return 0;
}
