// The recording stand-in for the PG-writing library.
#include "tabreng/tests/recording_pg_library.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace kavrinth {

namespace {

std::string NameOf(const char* name) {
  return std::string(name, std::find(name, name + kPgNameLength, '\0'));
}

int32_t ToPgUnits(int32_t d, double fixup) {
  return static_cast<int32_t>(std::lround(d * fixup * 1000.0));
}

PgTrapezoid BoundingTrapezoid(const int32_t* points, int32_t count, double fixup) {
  int32_t x0 = std::numeric_limits<int32_t>::max(), y0 = x0;
  int32_t x1 = std::numeric_limits<int32_t>::min(), y1 = x1;
  for (int32_t i = 0; i < count; ++i) {
    x0 = std::min(x0, points[2 * i]);
    x1 = std::max(x1, points[2 * i]);
    y0 = std::min(y0, points[2 * i + 1]);
    y1 = std::max(y1, points[2 * i + 1]);
  }
  const int32_t a = ToPgUnits(x0, fixup), b = ToPgUnits(y0, fixup);
  const int32_t c = ToPgUnits(x1, fixup), d = ToPgUnits(y1, fixup);
  return PgTrapezoid{{a, b, c, b, c, d, a, d}};
}

}  // namespace

int32_t RecordingPgLibrary::Init(PgInitArguments& values) {
  init = values;
  order.push_back("INIT");
  return init_result;
}

int32_t RecordingPgLibrary::Polygon(const int32_t* points, int32_t count, PgTrapezoid* table,
                                    int32_t capacity, double fixup, const char* name) {
  polygons.push_back({std::vector<int32_t>(points, points + 2 * count), fixup, NameOf(name)});
  order.push_back("PG");
  const PgPrepared* prepared = std::exchange(pending_, nullptr);
  if (static_cast<int64_t>(polygons.size()) - 1 == split_call && count > 0 && capacity >= 2) {
    PgTrapezoid box = BoundingTrapezoid(points, count, fixup);
    const int32_t middle = box.xy[1] + (box.xy[5] - box.xy[1]) / 2;
    table[0] = box;
    table[1] = box;
    table[0].xy[5] = table[0].xy[7] = middle;
    table[1].xy[1] = table[1].xy[3] = middle;
    return 2;
  }
  if (prepared != nullptr && prepared->points == points && prepared->count == count &&
      prepared->table == table && prepared->capacity == capacity && prepared->fixup == fixup) {
    ++prepared_taken;
    return prepared->filled;
  }
  std::vector<PgTrapezoid> result;
  if (!tables.empty()) {
    result = std::move(tables.front());
    tables.pop_front();
  } else if (count > 0) {
    result.push_back(BoundingTrapezoid(points, count, fixup));
  }
  const size_t filled = std::min(result.size(), static_cast<size_t>(std::max(capacity, 0)));
  std::copy_n(result.begin(), filled, table);
  return forced_result ? *forced_result : static_cast<int32_t>(filled);
}

bool RecordingPgLibrary::Prepare(const int32_t* points, int32_t count, PgTrapezoid* table,
                                 int32_t capacity, double fixup, PgPrepared* prepared) {
  if (!prepares || !tables.empty() || forced_result || count <= 0 || capacity <= 0) return false;
  table[0] = BoundingTrapezoid(points, count, fixup);
  *prepared = PgPrepared{points, count, fixup, table, capacity, 1, 0, 0};
  return true;
}

int32_t RecordingPgLibrary::Path(const int32_t* points, int32_t count, double fixup,
                                 const char* name) {
  paths.push_back({std::vector<int32_t>(points, points + 2 * count), fixup, NameOf(name)});
  order.push_back("PATH");
  return 0;
}

int32_t RecordingPgLibrary::Close(int32_t* warnings, int32_t* errors) {
  ++close_calls;
  order.push_back("CLOSE");
  *warnings = close_warnings;
  *errors = close_errors;
  return 0;
}

}  // namespace kavrinth
