// A plot library that has the value entries but not the plot entry.
#include <cstdint>

extern "C" {
__attribute__((visibility("default"))) int plendo_ordinal_4(const char*, const char*, const char*,
                                                            char*, int32_t) {
  return 0;
}
__attribute__((visibility("default"))) int plendo_ordinal_5(const char*, const char*, const char*,
                                                            const char*) {
  return 1;
}
}
