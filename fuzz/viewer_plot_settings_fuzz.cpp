// Fuzz target of the viewer's plot settings: the input read as the plot configuration
// through the plot library's value entries, the settings written into a plot data file as
// its library properties, and that file read back with the plot library's reader. What the
// plot library makes of every property must be what the viewer's setting says, and a value
// the file cannot hold is refused with a warning rather than cut.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "companions/plendo/plot_file.h"
#include "companions/plendo/plot_values.h"
#include "fuzz/fuzz_support.h"
#include "viewer/model/gdsformat_writer.h"
#include "viewer/plot/plot_settings.h"

namespace kavrinth {
namespace {

// The configuration file read through the plot library's value entries; writes (the
// reader's "Transparency") are taken and dropped, so that the input stays as it came.
class ConfigValues : public PlotValueSource {
 public:
  explicit ConfigValues(std::string path) : path_(std::move(path)) {}
  std::optional<std::string> Read(const char* section, const char* key) override {
    return GetPlotValue(section, key, path_);
  }
  bool Write(const char*, const char*, const char*) override { return true; }

 private:
  std::string path_;
};

// A plot data file holds reals of 7 base-16 exponent bits. The reader keeps out every real
// the file cannot hold, so each setting is one it holds and comes back to within the
// double's precision.
void CheckReal(const PlotDocument& document, const char* name, double value) {
  FUZZ_CHECK(document.Has(name));
  FUZZ_CHECK(GdsOutRealFits(value));
  const double read = document.Setting(name, 0.0);
  FUZZ_CHECK(std::fabs(read - value) <= 1e-14 * std::fabs(value));
}

}  // namespace
}  // namespace kavrinth

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  fuzz::BeQuiet();
  const fuzz::ScratchDirectory& scratch = fuzz::ScratchDirectory::Get();
  ConfigValues values(scratch.Write("plot.cfg", data, size));
  const GdxRect window{0, 0, 2000, 1000};
  PlotSettings s;
  if (!ReadPlotSettings(&values, window, &s)) std::abort();

  const std::string plot = scratch.File("plot.gds");
  FUZZ_CHECK(GdsOutOpen(plot, 1e-6, 0.001, "", false) == kGdsOutOk);
  FUZZ_CHECK(WritePlotSettingsProperties(s, {-5, -6, 70, 80}, window, 1) == kGdsOutOk);
  FUZZ_CHECK(GdsOutBeginStructure("TOP") == kGdsOutOk);
  GdsOutEndStructure();
  FUZZ_CHECK(GdsOutClose() == kGdsOutOk);
  PlotDocument document;
  std::string error;
  FUZZ_CHECK(ReadPlotFile(plot, &document, &error));

  // The integers as the page layout takes them.
  const auto setting = [&](const char* name) {
    FUZZ_CHECK(document.Has(name));
    return static_cast<int32_t>(document.Setting(name, 0));
  };
  FUZZ_CHECK((document.Setting("ISROT", 0) != 0) == (s.rotate != 0));
  FUZZ_CHECK(setting("PAPERSIZE") == s.paper_code);
  FUZZ_CHECK(std::clamp(setting("MAXPEN"), 1, kMaxPlotPens) ==
             std::clamp(s.max_pen, 1, kMaxPlotPens));
  FUZZ_CHECK(std::clamp(setting("DPI"), 72, 2400) == std::clamp(s.dpi, 72, 2400));
  if (s.paper_code == kPaperCustomZ || s.paper_code == kPaperCustomY) {
    FUZZ_CHECK(setting("PAPERUNIT") == s.paper_unit);
    CheckReal(document, "PAPERWIDTH", s.custom_width);
    CheckReal(document, "PAPERHEIGHT", s.custom_height);
  }
  CheckReal(document, "LINEWEIGHT", s.line_weight);
  CheckReal(document, "FLINEWEIGHT", s.fill_line_weight);
  if (s.scale_given) {
    CheckReal(document, "PLTSCALE", s.scale);
    CheckReal(document, "OFFX", s.origin_x);
    CheckReal(document, "OFFY", s.origin_y);
  }
  CheckReal(document, "LTBTMGNX", s.margin_left);
  CheckReal(document, "LTBTMGNY", s.margin_bottom);
  CheckReal(document, "RTURMGNX", s.margin_right);
  CheckReal(document, "RTURMGNY", s.margin_top);
  return 0;
}
