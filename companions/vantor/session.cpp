// A run of the PG-writing library: settings, counts and pg.log.
#include "companions/vantor/session.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <span>
#include <utility>

#include "companions/vantor/pg_settings.h"
#include "platform/files.h"

namespace kavrinth {
namespace {

// Shortest text that reads back as the same double, independent of the locale.
std::string DoubleText(double value) {
  char text[64];
  auto [end, error] = std::to_chars(text, text + sizeof text, value);
  return error == std::errc() ? std::string(text, end) : std::string("?");
}

int32_t ClampToInt32(int64_t value) {
  return static_cast<int32_t>(std::min<int64_t>(value, std::numeric_limits<int32_t>::max()));
}

}  // namespace

std::string StructureName(const char* name, int32_t length) {
  std::string result;
  for (int32_t i = 0; name != nullptr && i < length && name[i] != '\0'; ++i) {
    auto byte = static_cast<unsigned char>(name[i]);
    result.push_back(byte < 0x20 || byte == 0x7F ? '?' : name[i]);
  }
  return result;
}

int32_t VantorSession::Init(const PgInitValues& values) {
  prepared_ = nullptr;
  if (is_open()) Close(nullptr, nullptr);
  std::string settings_path = ResolveExistingPath(kPgSettingsName);
  std::optional<std::vector<SettingsRecord>> records = ReadSettingsRecords(settings_path);
  if (!records) return PG_INIT_FAILED;
  log_.reset(std::fopen(std::string(kPgLogName).c_str(), "wb"));
  if (!log_) return PG_INIT_FAILED;

  polygons_ = trapezoids_ = paths_ = warnings_ = 0;
  errors_ = stray_calls_;
  std::string keys;
  for (const SettingsRecord& record : *records) keys += (keys.empty() ? "" : " ") + record.key;
  WriteHeader(values, settings_path, keys.empty() ? "(none)" : keys);
  if (stray_calls_ > 0) {
    LogLine("Error: " + std::to_string(stray_calls_) + " call(s) came while no run was open.");
  }
  stray_calls_ = 0;
  return 0;
}

void VantorSession::WriteHeader(const PgInitValues& values, const std::string& settings_path,
                                const std::string& keys) {
  LogLine("libvantor.so - PG-writing library");
  LogLine("PG_INIT: zero1=" + std::to_string(values.zero1) +
          " zero2=" + std::to_string(values.zero2) + " o=" + std::to_string(values.o) +
          " v=" + std::to_string(values.v) + " m=" + std::to_string(values.m) +
          " scale=" + DoubleText(values.scale) + " c=" + DoubleText(values.c) +
          " a=" + DoubleText(values.a) + " feature_size=" + DoubleText(values.feature_size) +
          " window=" + std::to_string(values.window));
  LogLine("Settings: " + settings_path);
  LogLine("Records: " + keys);
}

int32_t VantorSession::Polygon(const int32_t* points, const int32_t* count, PgTrapezoid* table,
                               const int32_t* capacity, const double* fixup,
                               std::string_view name) {
  // A prepared decomposition is for this call only.
  const PgPrepared* prepared = std::exchange(prepared_, nullptr);
  if (!is_open()) {
    ++stray_calls_;
    return 0;
  }
  ++polygons_;
  if (!points || !count || !table || !capacity || !fixup) {
    Error(name, "PG was called with a null pointer.");
    return 0;
  }
  if (*count <= 2) {
    Error(name, "a polygon of " + std::to_string(*count) + " point(s) was passed.");
    return 0;
  }
  if (!std::isfinite(*fixup) || *fixup <= 0.0) {
    Error(name, "the unit factor " + DoubleText(*fixup) + " is not a positive number.");
    return 0;
  }
  auto entries = static_cast<size_t>(std::max<int32_t>(*capacity, 0));
  DecomposeResult result;
  if (prepared != nullptr && prepared->points == points && prepared->count == *count &&
      prepared->table == table && prepared->capacity == *capacity && prepared->fixup == *fixup) {
    // Worked out ahead on another thread: the table holds it.
    result.filled = prepared->filled;
    result.status =
        prepared->table_full != 0 ? DecomposeStatus::kTableFull : DecomposeStatus::kComplete;
    result.out_of_range = prepared->out_of_range != 0;
  } else {
    result = decomposer_.Decompose(std::span(points, static_cast<size_t>(*count) * 2),
                                   *fixup * 1000.0, std::span(table, entries));
  }
  trapezoids_ += result.filled;
  if (result.status == DecomposeStatus::kTableFull) {
    Error(name, "the polygon of " + std::to_string(*count) + " points needs more than " +
                    std::to_string(entries) + " trapezoids; only " + std::to_string(result.filled) +
                    " were returned.");
  }
  if (result.out_of_range) {
    Error(name, "trapezoids with corners outside the 32-bit range were left out.");
  }
  if (result.filled == 0 && result.status == DecomposeStatus::kComplete && !result.out_of_range) {
    Warning(name, "the polygon has no area; no trapezoid was returned.");
  }
  return result.filled;
}

bool PrepareDecomposition(const int32_t* points, const int32_t* count, PgTrapezoid* table,
                          const int32_t* capacity, const double* fixup, PgPrepared* prepared) {
  if (!points || !count || !table || !capacity || !fixup || !prepared || *count <= 2 ||
      !std::isfinite(*fixup) || *fixup <= 0.0) {
    return false;
  }
  thread_local TrapezoidDecomposer decomposer;
  auto entries = static_cast<size_t>(std::max<int32_t>(*capacity, 0));
  const DecomposeResult result =
      decomposer.Decompose(std::span(points, static_cast<size_t>(*count) * 2), *fixup * 1000.0,
                           std::span(table, entries));
  prepared->points = points;
  prepared->count = *count;
  prepared->fixup = *fixup;
  prepared->table = table;
  prepared->capacity = *capacity;
  prepared->filled = result.filled;
  prepared->table_full = result.status == DecomposeStatus::kTableFull ? 1 : 0;
  prepared->out_of_range = result.out_of_range ? 1 : 0;
  return true;
}

int32_t VantorSession::Path(const int32_t* points, const int32_t* count, std::string_view name) {
  prepared_ = nullptr;
  if (!is_open()) {
    ++stray_calls_;
    return -1;
  }
  if (!points || !count || *count < 2) {
    Error(name, "a path needs at least 2 points.");
    return -1;
  }
  ++paths_;
  return 0;
}

int32_t VantorSession::Close(int32_t* warnings, int32_t* errors) {
  prepared_ = nullptr;
  int32_t result = 0;
  if (is_open()) {
    LogLine("Polygons: " + std::to_string(polygons_));
    LogLine("Trapezoids: " + std::to_string(trapezoids_));
    LogLine("Paths: " + std::to_string(paths_));
    LogLine("Warnings: " + std::to_string(warnings_));
    LogLine("Errors: " + std::to_string(errors_));
    bool failed = std::fflush(log_.get()) != 0 || std::ferror(log_.get()) != 0;
    failed = std::fclose(log_.release()) != 0 || failed;
    if (failed) ++errors_;
  } else {
    // PG_CLOSE without a run is itself an error, reported with the stray calls.
    errors_ = stray_calls_ + 1;
    warnings_ = 0;
    stray_calls_ = 0;
    result = -1;
  }
  if (warnings) *warnings = ClampToInt32(warnings_);
  if (errors) *errors = ClampToInt32(errors_);
  warnings_ = errors_ = 0;
  return result;
}

void VantorSession::LogLine(std::string_view line) {
  if (!log_) return;
  std::fwrite(line.data(), 1, line.size(), log_.get());
  std::fwrite("\r\n", 1, 2, log_.get());
}

void VantorSession::LogProblem(std::string_view kind, std::string_view name,
                               std::string_view text) {
  LogLine(std::string(kind) + ": structure \"" +
          StructureName(name.data(), static_cast<int32_t>(name.size())) +
          "\": " + std::string(text));
}

void VantorSession::Error(std::string_view name, std::string_view text) {
  ++errors_;
  LogProblem("Error", name, text);
}

void VantorSession::Warning(std::string_view name, std::string_view text) {
  ++warnings_;
  LogProblem("Warning", name, text);
}

}  // namespace kavrinth
