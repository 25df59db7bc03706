// The C entry points of libvantor.so. They hold the one run of the
// process and let no exception out to the engine.
#include "companions/vantor/vantor.h"

#include <string_view>

#include "companions/vantor/session.h"

namespace {

kavrinth::VantorSession& Session() {
  static kavrinth::VantorSession session;
  return session;
}

// The name's bytes as passed, not read here: they are read up to a NUL only when a
// log line shows them.
std::string_view PassedName(const char* name, int32_t length) {
  return name != nullptr && length > 0 ? std::string_view(name, static_cast<size_t>(length))
                                       : std::string_view();
}

template <typename T>
T ValueOr(const T* value, T fallback) {
  return value ? *value : fallback;
}

}  // namespace

extern "C" int32_t PG_INIT(int32_t* zero1, int32_t* zero2, int32_t* o, int32_t* v, int32_t* m,
                           double* scale, double* c, double* a, double* feature_size,
                           uint32_t* window) {
  try {
    kavrinth::PgInitValues values;
    values.zero1 = ValueOr(zero1, values.zero1);
    values.zero2 = ValueOr(zero2, values.zero2);
    values.o = ValueOr(o, values.o);
    values.v = ValueOr(v, values.v);
    values.m = ValueOr(m, values.m);
    values.scale = ValueOr(scale, values.scale);
    values.c = ValueOr(c, values.c);
    values.a = ValueOr(a, values.a);
    values.feature_size = ValueOr(feature_size, values.feature_size);
    values.window = ValueOr(window, values.window);
    return Session().Init(values);
  } catch (...) {
    return PG_INIT_FAILED;
  }
}

extern "C" int32_t PG(const int32_t* points, const int32_t* count, const double* /*one*/,
                      PgTrapezoid* table, const int32_t* capacity, const double* fixup,
                      const char* name, int32_t name_length) {
  try {
    return Session().Polygon(points, count, table, capacity, fixup, PassedName(name, name_length));
  } catch (...) {
    Session().CountError();
    return 0;
  }
}

extern "C" int32_t PG_PATH(const int32_t* points, const int32_t* count, const double* /*one*/,
                           const double* /*fixup*/, const char* name, int32_t name_length) {
  try {
    return Session().Path(points, count, PassedName(name, name_length));
  } catch (...) {
    Session().CountError();
    return -1;
  }
}

extern "C" int32_t PG_CLOSE(int32_t* /*zero*/, int32_t* warnings, int32_t* errors) {
  try {
    return Session().Close(warnings, errors);
  } catch (...) {
    return -1;
  }
}

extern "C" int32_t PG_PREPARE(const int32_t* points, const int32_t* count, PgTrapezoid* table,
                              const int32_t* capacity, const double* fixup, PgPrepared* prepared) {
  try {
    return kavrinth::PrepareDecomposition(points, count, table, capacity, fixup, prepared) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

extern "C" void PG_USE_PREPARED(const PgPrepared* prepared) { Session().UsePrepared(prepared); }
