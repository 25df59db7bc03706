// Writing the header stream.
#include "tabreng/header_stream.h"

#include <algorithm>
#include <cstdio>
#include <variant>

#include "support/progress_sink.h"

namespace kavrinth {

namespace {

struct NamedSetting {
  std::string_view name;
  std::variant<std::string, int32_t, double> value;
};

int KindOf(const NamedSetting& setting) {
  if (std::holds_alternative<std::string>(setting.value)) return kGdsSettingText;
  if (std::holds_alternative<int32_t>(setting.value)) return kGdsSettingInt32;
  return kGdsSettingReal;
}

GdsPropertyValue ValueOf(const NamedSetting& setting) {
  if (const auto* text = std::get_if<std::string>(&setting.value)) return std::string_view(*text);
  if (const auto* number = std::get_if<int32_t>(&setting.value)) return *number;
  return std::get<double>(setting.value);
}

int32_t Flag(bool on) { return on ? 1 : 0; }

GdsRefLibs ReferenceLibraries(const JobSettings& settings) {
  GdsRefLibs area{};
  for (size_t i = 0; i < settings.reference_libraries.size(); ++i) {
    const std::string& name = settings.reference_libraries[i];
    std::copy_n(name.begin(), std::min(name.size(), kGdsFontNameSize - 1),
                area.begin() + static_cast<std::ptrdiff_t>(i * kGdsFontNameSize));
  }
  return area;
}

}  // namespace

std::string LayerOutputName(std::string_view top_name, int layer) {
  char number[16];
  std::snprintf(number, sizeof number, "%02d", layer);
  return std::string(top_name.substr(0, 6)) + number + ".gbr";
}

int HeaderStream::Open(const std::string& native_path, const HeaderStreamJob& job,
                       const JobSettings& settings, const StreamUnits& units_so_far) {
  job_ = job;
  writer_.user_unit_metres() = units_so_far.metres_per_user;
  const double scale = settings.aperture.outline ? settings.scale_factor : 1.0;
  // Before the units are known the unit is 0; the writer still writes the library.
  writer_.OpenLibraryEx(native_path, kGdsUserUnitName, units_so_far.user_per_database, scale,
                        settings.min_line, ReferenceLibraries(settings), GdsFontTable{}, false);
  if (!writer_.library_open()) return -1;
  writer_.SetFlags(kGdsNoSpooling);
  WriteSettings(settings);
  for (int layer = 0; layer < kLayerCount; ++layer) {
    if (job_.output_layers.Test(layer)) {
      writer_.WriteLayerFileRecord(layer, LayerOutputName(job_.top_name, layer));
    }
  }
  const ApertureSettings& a = settings.aperture;
  writer_.WriteNamedProperty("GBR$NOAPTS", kGdsSettingInt32,
                             static_cast<int32_t>(a.apertures.size()));
  for (const ApertureNode& node : a.apertures) {
    writer_.WriteApertureRecord(node.code, node.text, node.kind, node.shape, node.size1, node.size2,
                                0, 0, 0);
  }
  return 0;
}

void HeaderStream::WriteSettings(const JobSettings& settings) {
  const ApertureSettings& a = settings.aperture;
  const NamedSetting table[] = {
      {"$TOPSTR$", job_.top_name},
      {"GBR$POLYFILL", int32_t{0}},
      {"GBR$LCLFILL", Flag(settings.local_fill)},
      {"GBR$ETCH", a.etch},
      {"GBR$PRESCL", int32_t{1}},
      {"GBR$MAPCIR", Flag(settings.map_circle)},
      {"GBR$UNIT", int32_t{a.units}},
      {"GBR$FMT1", int32_t{a.integer_digits}},
      {"GBR$FMT2", int32_t{a.fraction_digits}},
      {"GBR$SCAL", int32_t{1}},
      {"GBR$CR", Flag(a.suppress_cr)},
      {"GBR$LEAD", Flag(a.suppress_leading)},
      {"GBR$CIRC", Flag(a.circular)},
      {"ARCRES", a.arc_resolution},
      {"GBR$TEXT", int32_t{a.text_code}},
      {"GBR$FTEXT", int32_t{a.ftext_code}},
      {"GBR$TEXTSCALE", a.text_factor},
      {"GBR$FTEXTSCALE", a.ftext_factor},
      {"GBR$LINE", int32_t{a.line_code}},
      {"GBR$TRACE$", int32_t{0}},
      {"GBR$OUTLN0", Flag(a.outline)},
      {"GBR$OUTLN1", int32_t{a.outline_a}},
      {"GBR$OUTLN2", int32_t{a.outline_b}},
      {"GBR$START$", int32_t{a.first_code}},
      {"GBR$MLT$", settings.unit_factor},
      {"GBR$XOFF", a.offset_x},
      {"GBR$YOFF", a.offset_y},
      {"GBR$STYLE", int32_t{0}},
      {"GBR$FLOAT0", int32_t{1}},
      {"GBR$EXCLD0", int32_t{0}},
  };
  for (const NamedSetting& setting : table) {
    writer_.WriteNamedProperty(setting.name, KindOf(setting), ValueOf(setting));
  }
}

int HeaderStream::Close(const StreamUnits& units, double fixup) {
  writer_.WriteNamedProperty("GBR$UNIT", kGdsSettingInt32, int32_t{units.mil ? 1 : 3});
  if (job_.pg_scale_given) writer_.WriteNamedProperty("PG$SCALE", kGdsSettingReal, job_.pg_scale);
  writer_.WriteNamedProperty("$FIXUP$", kGdsSettingReal, fixup);
  writer_.WriteNamedProperty("$JUMP$", kGdsSettingText, std::string_view(job_.translated_name));
  const int result = writer_.EndLibrary();
  SetProgressText(nullptr, "", "100%");
  return result == kGdsFailed ? -1 : 0;
}

}  // namespace kavrinth
