// A stand-in for the PG-writing library in the engine's tests: it keeps every call and
// answers from a script. It lives with the tests, out of what the program links.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "tabreng/pg_library.h"

namespace kavrinth {

// Keeps every call. PG returns the next scripted table, or, with no script left, the
// polygon's bounding box as one trapezoid in PG units (d * fixup * 1000).
class RecordingPgLibrary : public PgLibrary {
 public:
  struct PolygonCall {
    std::vector<int32_t> points;  // x, y pairs
    double fixup = 0;
    std::string name;
  };

  int32_t Init(PgInitArguments& values) override;
  int32_t Polygon(const int32_t* points, int32_t count, PgTrapezoid* table, int32_t capacity,
                  double fixup, const char* name) override;
  int32_t Path(const int32_t* points, int32_t count, double fixup, const char* name) override;
  int32_t Close(int32_t* warnings, int32_t* errors) override;
  // With `prepares` (and no script), works out the bounding box ahead, on any thread.
  bool Prepare(const int32_t* points, int32_t count, PgTrapezoid* table, int32_t capacity,
               double fixup, PgPrepared* prepared) override;
  void UsePrepared(const PgPrepared* prepared) override { pending_ = prepared; }

  // Script.
  int32_t init_result = 0;
  std::deque<std::vector<PgTrapezoid>> tables;
  std::optional<int32_t> forced_result;  // returned instead of the entry count
  int32_t close_warnings = 0;
  int32_t close_errors = 0;
  bool prepares = false;
  // The PG call (counted from 0) that returns the bounding box cut into two halves,
  // whatever was prepared for it.
  int64_t split_call = -1;

  // Record.
  std::optional<PgInitArguments> init;
  std::vector<PolygonCall> polygons;
  std::vector<PolygonCall> paths;
  int close_calls = 0;
  std::vector<std::string> order;  // "INIT", "PG", "PATH", "CLOSE" as called
  size_t prepared_taken = 0;       // PG calls handed the result prepared for them

 private:
  const PgPrepared* pending_ = nullptr;
};

}  // namespace kavrinth
