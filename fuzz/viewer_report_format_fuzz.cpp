// Fuzz target of the report formats users edit in the viewer's report templates: the
// input is a format, given an integer, a real and a text in the order its first byte picks.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "viewer/model/report_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  if (size == 0) return 0;
  std::array<ReportArg, 4> args = {int64_t{-42}, 3.25, std::string("text"), int64_t{1} << 40};
  // Three swaps chosen by the first byte give every order of the values.
  if (data[0] & 1) std::swap(args[0], args[1]);
  if (data[0] & 2) std::swap(args[1], args[2]);
  if (data[0] & 4) std::swap(args[0], args[3]);
  const size_t count = (data[0] >> 3) % (args.size() + 1);
  const std::string_view format(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::optional<std::string> line =
      FormatReportLine(format, std::span<const ReportArg>(args.data(), count));
  // No field may be wider than the limit, so no line can grow without bound.
  if (line && line->size() > format.size() * (kMaxReportFieldWidth + 64) + 64) std::abort();
  return 0;
}
