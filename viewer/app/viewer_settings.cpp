// Reading and writing the viewer's settings store.
#include "viewer/app/viewer_settings.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>
#include <string_view>

#include "support/paths.h"

namespace kavrinth {
namespace {

constexpr size_t kTextSize = 4096;

void ReadInt(const CAppProfile& profile, const char* name, int32_t* value) {
  profile.GetInt(name, value);
}

std::optional<int64_t> Int64Of(std::string_view text) {
  int64_t value = 0;
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || stop != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::string FormatRgbText(uint32_t colour) {
  return std::to_string(colour & 0xFF) + "," + std::to_string((colour >> 8) & 0xFF) + "," +
         std::to_string((colour >> 16) & 0xFF);
}

uint32_t ParseRgbText(std::string_view text) {
  // Up to three parts cut at the first two commas; each is read as a leading number (blanks
  // and a sign first, anything after the digits ignored; beyond the 32-bit range it stays at
  // its end), a missing or empty part as 0, and keeps its low 8 bits (300 is 44, -1 is 255).
  uint32_t colour = 0;
  for (int part = 0; part < 3; ++part) {
    const size_t comma = part < 2 ? text.find(',') : std::string_view::npos;
    std::string_view field = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    while (!field.empty() && std::isspace(static_cast<unsigned char>(field.front()))) {
      field.remove_prefix(1);
    }
    bool negative = false;
    if (!field.empty() && (field.front() == '+' || field.front() == '-')) {
      negative = field.front() == '-';
      field.remove_prefix(1);
    }
    int64_t value = 0;
    for (char c : field) {
      if (c < '0' || c > '9') break;
      value = std::min<int64_t>(value * 10 + (c - '0'), int64_t{1} << 31);
    }
    value = negative ? -value : std::min<int64_t>(value, 2147483647);
    colour |= (uint32_t(value) & 0xFF) << (8 * part);
  }
  return colour;
}

void ReadViewerSettings(const CAppProfile& profile, const std::string& current_directory,
                        ViewerSettings* s) {
  *s = ViewerSettings();
  s->tmp_dir = current_directory;
  s->last_job_file_name = MakePath(current_directory, "*.job");
  if (!profile.IsOpen()) {
    s->tmp_dir_defaulted = true;
    return;
  }
  ReadInt(profile, "Toolbar", &s->toolbar);
  ReadInt(profile, "Statusbar", &s->statusbar);
  ReadInt(profile, "SnapEndPt", &s->snap_end_point);
  ReadInt(profile, "GridOn", &s->grid_on);
  ReadInt(profile, "SnapOn", &s->snap_on);
  profile.GetString("GridSnap", &s->grid_snap, kTextSize);
  ReadInt(profile, "FillOn", &s->fill_on);
  ReadInt(profile, "FramesAtStartup", &s->frames_at_startup);
  ReadInt(profile, "GlassWidth", &s->glass_width);
  ReadInt(profile, "GlassHeight", &s->glass_height);
  ReadInt(profile, "GlassMargin", &s->glass_margin);
  ReadInt(profile, "GlassUnit", &s->glass_unit);
  ReadInt(profile, "Gls_Disp_SU", &s->glass_display_startup);
  ReadInt(profile, "Gls_Disp_CH", &s->glass_display_ch);
  ReadInt(profile, "WindowshowCmd", &s->window_show_cmd);
  // Read as 64 bits: a limit above 2 GiB is kept, never wrapped.
  std::string text;
  if (profile.GetString("RamUse", &text, kTextSize)) {
    if (const std::optional<int64_t> value = Int64Of(text)) {
      s->ram_use = *value;
      s->ram_use_stored = true;
    }
  }
  text.clear();
  if (profile.GetString("VUBKGND", &text, kTextSize)) s->background = ParseRgbText(text);
  text.clear();
  if (profile.GetString("TmpDir", &text, kTextSize) && !text.empty() && DirExists(text)) {
    s->tmp_dir = text;
  } else {
    s->tmp_dir_defaulted = true;
  }
  text.clear();
  if (profile.GetString("LastJobFileName", &text, kTextSize) && !text.empty() && FileExists(text) &&
      !DirExists(text)) {
    s->last_job_file_name = text;
  }
}

int WriteViewerSettingsBeforePlacement(const CAppProfile& profile, const ViewerSettings& s) {
  CAppProfile::Batch batch(profile);
  batch.WriteInt("Toolbar", s.toolbar);
  batch.WriteInt("Statusbar", s.statusbar);
  batch.WriteInt("FillOn", s.fill_on);
  batch.WriteInt("SnapEndPt", s.snap_end_point);
  batch.WriteInt("GridOn", s.grid_on);
  batch.WriteInt("SnapOn", s.snap_on);
  batch.WriteString("GridSnap", s.grid_snap.c_str());
  if (s.glass_valid) {
    batch.WriteInt("GlassWidth", s.glass_width);
    batch.WriteInt("GlassHeight", s.glass_height);
    batch.WriteInt("GlassMargin", s.glass_margin);
    batch.WriteInt("GlassUnit", s.glass_unit);
    batch.WriteInt("Gls_Disp_SU", s.glass_display_startup);
    batch.WriteInt("Gls_Disp_CH", s.glass_display_ch);
  }
  return batch.Commit();
}

int WriteViewerSettingsAfterPlacement(const CAppProfile& profile, const ViewerSettings& s) {
  CAppProfile::Batch batch(profile);
  batch.WriteString("RamUse", std::to_string(s.ram_use).c_str());
  batch.WriteString("TmpDir", s.tmp_dir.c_str());
  batch.WriteString("LastJobFileName", s.last_job_file_name.c_str());
  // The viewer's own key, after those the settings file has always held.
  batch.WriteInt("FramesAtStartup", s.frames_at_startup);
  return batch.Commit();
}

}  // namespace kavrinth
