// The PG-writing library behind a small interface: the real one calls libvantor.so's
// C functions (the tests have a recording one, tabreng/tests/recording_pg_library.h).
#pragma once

#include <cstdint>

#include "companions/vantor/vantor.h"

namespace kavrinth {

// The trapezoid table handed to PG, and the length of the structure-name buffer.
inline constexpr int32_t kPgTableCapacity = 8192;
inline constexpr int32_t kPgNameLength = 34;

// PG_INIT's ten values, in argument order.
struct PgInitArguments {
  int32_t zero1 = 0;
  int32_t zero2 = 0;
  int32_t o = -1;
  int32_t v = -1;
  int32_t m = -1;
  double scale = 1e20;
  double second = 1e20;
  double third = 1e20;
  double feature_size = 1e20;
  uint32_t window = 0;
};

// PG_INIT's result when the library cannot read pg.cfg.
inline constexpr int32_t kPgInitFailed = 20;

class PgLibrary {
 public:
  virtual ~PgLibrary() = default;
  virtual int32_t Init(PgInitArguments& values) = 0;
  // Points are x, y pairs (count of them, the closing point included); the name buffer
  // holds kPgNameLength characters. Returns the number of table entries filled.
  virtual int32_t Polygon(const int32_t* points, int32_t count, PgTrapezoid* table,
                          int32_t capacity, double fixup, const char* name) = 0;
  virtual int32_t Path(const int32_t* points, int32_t count, double fixup, const char* name) = 0;
  virtual int32_t Close(int32_t* warnings, int32_t* errors) = 0;
  // Works out on any thread, into the table, what Polygon will return for these
  // arguments, so that the call, handed the result with UsePrepared just before, does
  // not work it out again. False when the library does not (Polygon then does it all).
  virtual bool Prepare(const int32_t* /*points*/, int32_t /*count*/, PgTrapezoid* /*table*/,
                       int32_t /*capacity*/, double /*fixup*/, PgPrepared* /*prepared*/) {
    return false;
  }
  // The prepared result for the next Polygon call (null: none).
  virtual void UsePrepared(const PgPrepared* /*prepared*/) {}
};

// libvantor.so.
class VantorPgLibrary : public PgLibrary {
 public:
  int32_t Init(PgInitArguments& values) override;
  int32_t Polygon(const int32_t* points, int32_t count, PgTrapezoid* table, int32_t capacity,
                  double fixup, const char* name) override;
  int32_t Path(const int32_t* points, int32_t count, double fixup, const char* name) override;
  int32_t Close(int32_t* warnings, int32_t* errors) override;
  bool Prepare(const int32_t* points, int32_t count, PgTrapezoid* table, int32_t capacity,
               double fixup, PgPrepared* prepared) override;
  void UsePrepared(const PgPrepared* prepared) override;
};

}  // namespace kavrinth
