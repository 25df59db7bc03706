// Fuzz target of the INI module: the input loaded as an INI file, every section and key
// read, then one key written and the file saved and loaded again, which must give the
// written value back and keep the rest.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/ini.h"

namespace kavrinth {
namespace {

void ReadEverything(const IniFile& ini) {
  for (const std::string& section : ini.Sections()) {
    for (const std::string& key : ini.Keys(section)) {
      if (!ini.Get(section, key)) std::abort();  // a listed key is found
      (void)ini.GetString(section, key, "", 16);
      (void)ini.GetInt(section, key, 7);
    }
  }
}

}  // namespace
}  // namespace kavrinth

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  const std::string path = fuzz::ScratchDirectory::Get().Write("input.ini", data, size);
  IniFile ini;
  if (!ini.Load(path)) std::abort();  // the file is there and readable
  ReadEverything(ini);
  const std::vector<std::string> sections = ini.Sections();
  // Writes into the file's own first section when it has one, else into a new one.
  const std::string section = sections.empty() ? "Fuzz" : sections.front();
  if (section.empty() || section.find_first_of("\r\n") != std::string::npos) return 0;
  if (!ini.Set(section, "FuzzKey", "value 1")) return 0;
  if (!ini.Save()) std::abort();
  IniFile again;
  if (!again.Load(path)) std::abort();
  const std::optional<std::string> value = again.Get(section, "FuzzKey");
  if (!value || *value != "value 1") std::abort();
  if (again.Sections().size() < sections.size()) std::abort();  // nothing else was lost
  return 0;
}
