// One run of the PG-writing library, from PG_INIT to PG_CLOSE: the values the
// engine passed, the counts, and pg.log.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "companions/vantor/trapezoids.h"
#include "companions/vantor/vantor.h"

namespace kavrinth {

// What PG_INIT receives; the defaults stand for a value the engine did not give.
struct PgInitValues {
  int32_t zero1 = 0;
  int32_t zero2 = 0;
  int32_t o = -1;
  int32_t v = -1;
  int32_t m = -1;
  double scale = 1e20;
  double c = 1e20;
  double a = 1e20;
  double feature_size = 0.0;
  uint32_t window = 0;
};

// The file names of a run, in the current directory.
inline constexpr std::string_view kPgSettingsName = "pg.cfg";
inline constexpr std::string_view kPgLogName = "pg.log";

// The structure name as the engine passes it: at most `length` bytes, ended
// early by a NUL; control characters become '?' so that a log line stays one line.
std::string StructureName(const char* name, int32_t length);

// Polygon and Path take the name as the engine passed it (its bytes up to the given
// length, ended early by a NUL); StructureName turns it into text only when a log line
// needs it, since PG is called once per polygon and almost never logs.
class VantorSession {
 public:
  // Starts a run (ending one still open first): reads pg.cfg, creates pg.log.
  // 0, or PG_INIT_FAILED when either cannot be done.
  int32_t Init(const PgInitValues& values);

  // PG: the number of table entries filled. Null pointers, fewer than three
  // points, a unit factor that is not a positive number, a full table and
  // corners outside int32 are counted errors; a polygon without area a warning.
  int32_t Polygon(const int32_t* points, const int32_t* count, PgTrapezoid* table,
                  const int32_t* capacity, const double* fixup, std::string_view name);

  // PG_PATH: counts a path of at least two points; 0, or -1 for an error.
  int32_t Path(const int32_t* points, const int32_t* count, std::string_view name);

  // PG_CLOSE: writes the counts, closes pg.log (a failed write is one more
  // error) and hands back the counts. 0, or -1 when no run was open.
  int32_t Close(int32_t* warnings, int32_t* errors);

  // PG_USE_PREPARED: the decomposition the next Polygon call takes when it matches.
  void UsePrepared(const PgPrepared* prepared) noexcept { prepared_ = prepared; }

  // An error that could not be handled where it happened (e.g. memory ran out).
  void CountError() noexcept { ++errors_; }

  bool is_open() const { return log_ != nullptr; }

 private:
  void LogLine(std::string_view line);
  void LogProblem(std::string_view kind, std::string_view name, std::string_view text);
  void Error(std::string_view name, std::string_view text);
  void Warning(std::string_view name, std::string_view text);
  void WriteHeader(const PgInitValues& values, const std::string& settings_path,
                   const std::string& keys);

  std::unique_ptr<std::FILE, int (*)(std::FILE*)> log_{nullptr, &std::fclose};
  int64_t polygons_ = 0;
  int64_t trapezoids_ = 0;
  int64_t paths_ = 0;
  int64_t warnings_ = 0;
  int64_t errors_ = 0;
  int64_t stray_calls_ = 0;  // calls made while no run was open
  TrapezoidDecomposer decomposer_;
  const PgPrepared* prepared_ = nullptr;
};

// PG_PREPARE: the decomposition Polygon would make for these arguments, into the
// table, on the calling thread (with a decomposer of its own). False, with nothing
// done, for arguments Polygon refuses.
bool PrepareDecomposition(const int32_t* points, const int32_t* count, PgTrapezoid* table,
                          const int32_t* capacity, const double* fixup, PgPrepared* prepared);

}  // namespace kavrinth
