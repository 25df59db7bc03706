// Fuzz target of the GDSII record framer: every record of the input framed and every
// item of its data decoded, from memory or from a file read through a small buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "fuzz/fuzz_support.h"
#include "gdsii/record_reader.h"

namespace kavrinth {
namespace {

// Touches every item the record claims to hold; an accessor must never read past it.
void DecodeAll(const GdsRecord& record) {
  const size_t count = record.Count();
  for (size_t i = 0; i <= count; ++i) {
    (void)record.Int16(i);
    (void)record.Int32(i);
    (void)record.Real8(i);
  }
  (void)record.Text();
  if (record.bytes.size() < 4) std::abort();
}

void ReadAll(GdsRecordReader& reader) {
  GdsRecord record;
  GdsReadStatus status;
  uint64_t last_offset = 0;
  while ((status = reader.Next(&record)) == GdsReadStatus::kRecord) {
    DecodeAll(record);
    // The reader always moves forward; a record that does not would loop for ever.
    if (reader.offset() <= last_offset) std::abort();
    last_offset = reader.offset();
  }
  if (status == GdsReadStatus::kError && reader.error().empty()) std::abort();
  if (reader.Next(&record) != status) std::abort();  // the end state is sticky
}

}  // namespace
}  // namespace kavrinth

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  if (size == 0) return 0;
  const bool from_file = (data[0] & 1) != 0;
  std::span<const uint8_t> stream(data + 1, size - 1);
  if (from_file) {
    // A small buffer makes records straddle refills.
    const std::string path =
        fuzz::ScratchDirectory::Get().Write("input.gds", stream.data(), stream.size());
    GdsRecordReader reader(64 + data[0], kGdsMaxRecordLength);
    if (!reader.Open(path)) std::abort();
    ReadAll(reader);
    if (reader.Rewind()) ReadAll(reader);
  } else {
    GdsRecordReader reader;
    if (!reader.OpenBytes(stream)) return 0;
    ReadAll(reader);
  }
  return 0;
}
