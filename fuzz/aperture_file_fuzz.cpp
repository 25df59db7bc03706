// Fuzz target of the aperture settings file: the input read into the settings and the
// aperture list, then the text of CFG.TMP made from them, whose lines must read back as
// the values they were made from.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tabreng/aperture_settings.h"

namespace kavrinth {
namespace {

constexpr size_t kCfgTmpSettingLines = 12;

std::vector<std::string> CrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find("\r\n", at);
    if (end == std::string::npos) std::abort();  // every line ends in CR LF
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

// A size line holds the whole value in six decimals.
bool ReadsBack(const std::string& line, double value) {
  char* end = nullptr;
  const double read = std::strtod(line.c_str(), &end);
  if (end != line.c_str() + line.size()) return false;
  if (std::isnan(value)) return std::isnan(read);
  if (std::isinf(value)) return read == value;
  return std::fabs(read - value) <= 5e-7 + std::fabs(value) * 1e-15;
}

void CheckSettings(const ApertureSettings& s) {
  for (const ApertureNode& node : s.apertures) {
    if (node.code < kFirstApertureCode || node.code > kLastApertureCode) std::abort();
    if (node.text.size() > 35 || node.shape < 0 || node.shape > kAperturePoex) std::abort();
  }
  for (int code : {s.line_code, s.first_code, s.outline_a, s.outline_b}) {
    if (code < kFirstApertureCode || code > kLastApertureCode) std::abort();
  }
  if (s.units < kApertureMils || s.units > kApertureCm) std::abort();
  if (s.integer_digits < 1 || s.integer_digits > 8) std::abort();
  if (s.fraction_digits < 1 || s.fraction_digits > 8) std::abort();
}

void CheckCfgTmp(const ApertureSettings& s) {
  const std::vector<std::string> lines = CrLfLines(CfgTmpText(s));
  const size_t codes = kLastApertureCode - kFirstApertureCode + 1;
  if (lines.size() != kCfgTmpSettingLines + codes) std::abort();
  // A code without a simple aperture has size 0; the others must read back.
  std::vector<bool> sized(codes, false);
  for (const ApertureNode& node : s.apertures) {
    const size_t at = static_cast<size_t>(node.code - kFirstApertureCode);
    if (sized[at] || !node.IsSimple()) continue;
    sized[at] = true;
    if (!ReadsBack(lines[kCfgTmpSettingLines + at], node.size1)) std::abort();
  }
  for (size_t at = 0; at < codes; ++at) {
    if (!sized[at] && lines[kCfgTmpSettingLines + at] != "0.000000") std::abort();
  }
}

}  // namespace
}  // namespace kavrinth

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ApertureSettings settings;
  ParseApertureFile(text, settings);
  CheckSettings(settings);
  CheckCfgTmp(settings);
  (void)settings.NearestApertureCode(1.0);
  (void)settings.ApertureCodeByName("a");
  return 0;
}
