// Fuzz target of the PG settings file (pg.cfg) as the PG library reads it: the input
// split into records, each a key with its values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "companions/vantor/pg_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const SettingsRecord& record : ParseSettingsRecords(text)) {
    // A record starts at a line that is not empty, and no line keeps its line end.
    if (record.key.empty()) std::abort();
    if (record.key.find('\n') != std::string_view::npos) std::abort();
    for (const std::string& value : record.values) {
      if (value.empty() || value.find('\n') != std::string::npos) std::abort();
    }
  }
  return 0;
}
