// The PG-writing library: libvantor.so's entries.
#include "tabreng/pg_library.h"

namespace kavrinth {

int32_t VantorPgLibrary::Init(PgInitArguments& v) {
  return PG_INIT(&v.zero1, &v.zero2, &v.o, &v.v, &v.m, &v.scale, &v.second, &v.third,
                 &v.feature_size, &v.window);
}

int32_t VantorPgLibrary::Polygon(const int32_t* points, int32_t count, PgTrapezoid* table,
                                 int32_t capacity, double fixup, const char* name) {
  const double one = 1.0;
  return PG(points, &count, &one, table, &capacity, &fixup, name, kPgNameLength);
}

int32_t VantorPgLibrary::Path(const int32_t* points, int32_t count, double fixup,
                              const char* name) {
  const double one = 1.0;
  return PG_PATH(points, &count, &one, &fixup, name, kPgNameLength);
}

int32_t VantorPgLibrary::Close(int32_t* warnings, int32_t* errors) {
  int32_t zero = 0;
  return PG_CLOSE(&zero, warnings, errors);
}

bool VantorPgLibrary::Prepare(const int32_t* points, int32_t count, PgTrapezoid* table,
                              int32_t capacity, double fixup, PgPrepared* prepared) {
  return PG_PREPARE(points, &count, table, &capacity, &fixup, prepared) != 0;
}

void VantorPgLibrary::UsePrepared(const PgPrepared* prepared) { PG_USE_PREPARED(prepared); }

}  // namespace kavrinth
