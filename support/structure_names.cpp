// Structure names as the engine keeps them.
#include "support/structure_names.h"

namespace kavrinth {

void QualifyStructureName(char* name, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '$' || c == '_' || c == '\0';
    if (!plain) name[i] = '_';
  }
}

std::string EngineStructureName(std::string_view name, bool qualify) {
  std::string kept(name);
  if (qualify) QualifyStructureName(kept.data(), kept.size());
  return kept;
}

}  // namespace kavrinth
