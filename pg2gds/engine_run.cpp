// The engine's build table, unit letters and the log.
#include "pg2gds/engine_run.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdint>

namespace kavrinth {

namespace {

constexpr std::array<EngineBuildTraits, 2> kBuilds = {{
    {EngineBuild::kCorvitex, "corvitex", "Corvit (v1.40 04/24/98)", kPgFormatElectroMask, 0, false,
     kUnitMetric, false, "CORVITEX_THREADS"},
    {EngineBuild::kCorvaxen, "corvaxen", "Corvax (v1.40 04/24/98)", kPgFormatMann3000, 'x', true,
     kUnitMetricMann3000, true, "CORVAXEN_THREADS"},
}};

bool IsMetricCode(int32_t code) {
  return code == kUnitMetric || code == kUnitMetricMann3000 || code == kUnitMetricMann3600;
}

// The metric code of the build and machine, for the letter M.
int32_t MetricCode(const EngineRun& run) {
  if (run.traits->metric_code == kUnitMetricMann3000 && run.pg_format == kPgFormatMann3600) {
    return kUnitMetricMann3600;
  }
  return run.traits->metric_code;
}

}  // namespace

const EngineBuildTraits& TraitsOf(EngineBuild build) {
  return build == EngineBuild::kCorvitex ? kBuilds[0] : kBuilds[1];
}

EngineRun::EngineRun(EngineBuild build)
    : traits(&TraitsOf(build)), pg_format(traits->start_format) {}

char SelectUnitLetter(EngineRun& run, char letter) {
  UnitSettings& units = run.units;
  switch (letter) {
    case 'x':
      units = {'x', "UM", 0.001, kUnitUnknown};
      return 'x';
    case 'E':
    case 'e':
      units = {'E', "MIL", 0.01, kUnitEnglish};
      return 'E';
    case 'M':
    case 'm':
      // A metric code a file named already stays; anything else becomes the build's.
      units = {'M', "UM", 0.001, IsMetricCode(units.unit_code) ? units.unit_code : MetricCode(run)};
      return 'M';
    default:
      return letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter;
  }
}

void WriteLog(EngineRun& run, std::string_view text) {
  if (!run.log || text.empty()) return;
  if (std::fwrite(text.data(), 1, text.size(), run.log.get()) != text.size()) {
    run.log_failed = true;
  }
}

void LogError(EngineRun& run, std::string_view text, std::string_view detail) {
  std::string line = "\r\n";
  line.append(text).append("\r\n         ").append(detail).append("\r\n");
  WriteLog(run, line);
}

void LogWarning(EngineRun& run, std::string_view text, std::string_view detail, int64_t count) {
  LogError(run, "Warning: " + std::string(text), detail);
  const int64_t total = int64_t{run.warnings} + count;
  run.warnings = static_cast<int32_t>(std::min<int64_t>(total, INT32_MAX));
}

bool CloseLog(EngineRun& run) {
  if (!run.log) return !run.log_failed;
  std::FILE* file = run.log.release();
  const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
  const bool closed = std::fclose(file) == 0;
  if (!flushed || !closed) run.log_failed = true;
  return !run.log_failed;
}

}  // namespace kavrinth
