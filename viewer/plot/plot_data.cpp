// GeneratePlotData: the element walk over every shown layer, the negative rectangles, the
// WF2 frame grid and the glass outline, written through the viewer's GDSII-format writer.
#include "viewer/plot/plot_data.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <span>
#include <vector>

#include "support/colors.h"
#include "support/notifier.h"
#include "viewer/model/element_queries.h"
#include "viewer/model/gdsformat_writer.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/viewer_services.h"
#include "viewer/model/wf2_scan.h"
#include "viewer/plot/plot_commands.h"

namespace kavrinth {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kFilledBit = 0x1;     // of the attribute half of word 0
constexpr int32_t kReversedBit = 0x40;  // the arc's two ends are swapped
constexpr int32_t kDeletedFlag = 2;     // index flag: deleted elements are not plotted
constexpr int kPathPropertyAttribute = 8;

int32_t Saturate(double value) {
  if (!(value > INT32_MIN)) return INT32_MIN;
  return value < INT32_MAX ? static_cast<int32_t>(value) : INT32_MAX;
}

int32_t RoundHalfAway(double value) {
  return Saturate(std::trunc(value >= 0 ? value + 0.5 : value - 0.5));
}

bool Overlaps(int64_t min_x, int64_t min_y, int64_t max_x, int64_t max_y, const GdxRect& w) {
  return min_x < w.max_x && min_y < w.max_y && max_x > w.min_x && max_y > w.min_y;
}

std::vector<GdsIntPoint> RectanglePoints(const GdxRect& r) {
  return {{r.min_x, r.min_y},
          {r.max_x, r.min_y},
          {r.max_x, r.max_y},
          {r.min_x, r.max_y},
          {r.min_x, r.min_y}};
}

// The polyline of an arc running counter-clockwise from start to end around the centre
// (a whole turn when they coincide), as point words.
void ArcPolyline(const GdxWord* c, const GdxWord* s, const GdxWord* e, double radius,
                 double tolerance, std::vector<GdxWord>* out) {
  double step = 2.0 * kPi / 180.0;
  if (tolerance > 0 && radius > tolerance)
    step = std::min(step, 2.0 * std::acos(1.0 - tolerance / radius));
  double start = std::atan2(double(s[1]) - c[1], double(s[0]) - c[0]);
  double end = std::atan2(double(e[1]) - c[1], double(e[0]) - c[0]);
  if (end <= start) end += 2.0 * kPi;
  if (s[0] == e[0] && s[1] == e[1]) end = start + 2.0 * kPi;
  const int n = std::clamp(static_cast<int>((end - start) / step), 1, 3600);
  out->assign({s[0], s[1]});
  for (int i = 1; i < n; ++i) {
    const double a = start + (end - start) * i / n;
    out->push_back(RoundHalfAway(c[0] + radius * std::cos(a)));
    out->push_back(RoundHalfAway(c[1] + radius * std::sin(a)));
  }
  out->insert(out->end(), {e[0], e[1]});
}

class PlotWriter {
 public:
  PlotWriter(PlotHost* host, const PlotDisplay& display, const GdxRect& window)
      : host_(host), display_(display), window_(window) {}

  int WriteLayers();
  void WriteGlassOutline();
  // Elements the writer had to cut, structures and WF2 sections that could not be had.
  int32_t cut_elements() const { return cut_elements_; }
  int32_t missing_parts() const { return missing_parts_; }
  bool failed() const { return failed_; }

 private:
  void Colour(int32_t colour) { Check(GdsOutNamedProperty("SETCOLOR", kGdsSettingInt16, colour)); }
  void Check(int result) {
    if (result == kGdsOutFailed) failed_ = true;
    if (result == kGdsOutLimited) ++cut_elements_;
  }
  void WriteLibraryLayer(const ViewLayerEntry& entry, int layer);
  void WriteFrameLayer(const ViewLayerEntry& entry, int layer);
  void WriteStructure(GdxHandle library_handle);
  void WriteElement(int32_t type, const GdxWord* data, int32_t available, int32_t unit_factor);
  void WritePathPoints(const GdxWord* data, int32_t layer, int32_t count);
  void WriteFrameGrid();
  // Copies count points from the element with the layer offset applied.
  const std::vector<GdxWord>& Shifted(const GdxWord* points, int32_t count);
  // The words as points, in a buffer kept from element to element.
  const std::vector<GdsIntPoint>& AsPoints(const std::vector<GdxWord>& words);

  PlotHost* host_;
  const PlotDisplay& display_;
  GdxRect window_;
  int32_t colour_ = 0;
  int32_t offset_x_ = 0;
  int32_t offset_y_ = 0;
  int32_t divisor_ = 1;
  std::vector<GdxWord> points_;  // grown to the largest element: never cut
  std::vector<GdxWord> arc_;
  std::vector<GdsIntPoint> out_;
  int32_t cut_elements_ = 0;
  int32_t missing_parts_ = 0;
  bool failed_ = false;
};

const std::vector<GdxWord>& PlotWriter::Shifted(const GdxWord* points, int32_t count) {
  points_.resize(2 * static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    points_[2 * i] = Saturate(double(points[2 * i]) + offset_x_);
    points_[2 * i + 1] = Saturate(double(points[2 * i + 1]) - offset_y_);
  }
  return points_;
}

const std::vector<GdsIntPoint>& PlotWriter::AsPoints(const std::vector<GdxWord>& words) {
  out_.resize(words.size() / 2);
  for (size_t i = 0; i < out_.size(); ++i) out_[i] = {words[2 * i], words[2 * i + 1]};
  return out_;
}

int PlotWriter::WriteLayers() {
  const ViewerDisplayUnits& units = CurrentViewerServices().DisplayUnits();
  divisor_ = units.scale_divisor != 0 ? units.scale_divisor : 1;
  const ViewLayerTable& table = LayerTable();
  for (int layer = 0; layer < kViewLayerCount && !failed_; ++layer) {
    const ViewLayerEntry& entry = table[layer];
    if (entry.path.empty() || !entry.shown) continue;
    if (entry.library == kGdxNoHandle && entry.frame_block == kGdxNoHandle) continue;
    const LayerOffset offset = LayerDisplayOffset(entry);
    offset_x_ = offset.x;
    offset_y_ = offset.y;
    if (entry.library != kGdxNoHandle) {
      WriteLibraryLayer(entry, layer);
    } else {
      WriteFrameLayer(entry, layer);
    }
    if (display_.frames_display != 0) WriteFrameGrid();
  }
  return failed_ ? kPlotDataNotCreated : kPlotDataWritten;
}

void PlotWriter::WriteLibraryLayer(const ViewLayerEntry& entry, int layer) {
  colour_ = entry.fill_mode != kFillScratch ? NearestPickColor(entry.colour) : 0;
  Colour(colour_);
  const bool negative = entry.fill_mode == kFillNegative;
  if (negative && display_.glass_shown) {
    GdxRect r = window_;
    if (display_.glass) {
      r = {std::max(window_.min_x, display_.glass->min_x),
           std::max(window_.min_y, display_.glass->min_y),
           std::min(window_.max_x, display_.glass->max_x),
           std::min(window_.max_y, display_.glass->max_y)};
    }
    Check(GdsOutBoundary(RectanglePoints(r), layer, colour_, 0, 0));
    colour_ = 0;
    Colour(colour_);
  } else if (negative) {
    Check(GdsOutNamedProperty("NEGDISP", kGdsSettingInt16, 1));
  }
  WriteStructure(entry.library);
  if (negative && !display_.glass_shown) {
    Check(GdsOutNamedProperty("NEGDISP", kGdsSettingInt16, 0));
  }
}

void PlotWriter::WriteFrameLayer(const ViewLayerEntry& entry, int layer) {
  colour_ = NearestPickColor(entry.colour);
  Colour(colour_);
  const int32_t sections = Wf2FrameIndexSections(entry.frame_block);
  for (int32_t k = 0; k < sections && !failed_; ++k) {
    const std::optional<Wf2FrameIndexEntry> frame = ReadWf2FrameIndexEntry(entry.frame_block, k);
    if (!frame) {
      ++missing_parts_;
      continue;
    }
    const GdxRect& b = frame->box;
    if (!Overlaps(int64_t{b.min_x} + offset_x_, int64_t{b.min_y} - offset_y_,
                  int64_t{b.max_x} + offset_x_, int64_t{b.max_y} - offset_y_, window_)) {
      continue;
    }
    const GdxHandle library = host_->LoadFrame(layer, k);
    if (library == kGdxNoHandle) {
      ++missing_parts_;
      continue;
    }
    WriteStructure(library);
  }
}

void PlotWriter::WriteStructure(GdxHandle library_handle) {
  GdxLibrary* library = GdxLibraryFromHandle(library_handle);
  GdxStructure* structure =
      library ? GdxFindStructureById(library, library->current_structure_id) : nullptr;
  if (structure == nullptr) {
    ++missing_parts_;
    return;
  }
  GdxEntryCursor cursor(structure->begin_page, structure->begin_position);
  for (cursor.Next(); cursor.Valid() && !failed_; cursor.Next()) {
    const int32_t type = cursor.Type();
    if (type == kGdxEndMark || type == kGdxStructureBegin) break;
    if ((cursor.Entry()[kGdxEntrySelection] & kDeletedFlag) != 0) continue;
    const GdxWord* data = cursor.Data();
    if (data == nullptr) continue;
    const int64_t available = int64_t{GdxBlockWordCount(cursor.Entry()[kGdxEntryBlock])} -
                              cursor.Entry()[kGdxEntryOffset];
    WriteElement(type, data, static_cast<int32_t>(std::clamp<int64_t>(available, 0, INT32_MAX)),
                 library->scale_factor);
  }
}

void PlotWriter::WriteElement(int32_t type, const GdxWord* data, int32_t available,
                              int32_t unit_factor) {
  if (type != kGdxBoundary && type != kGdxPath && type != kGdxCircle && type != kGdxArc) return;
  const int32_t header = data[0] & 0xFFFF;
  const int32_t count = type == kGdxBoundary || type == kGdxPath ? (data[1] >> 16) & 0xFFFF : 3;
  if (header < GdxElementHeaderWords(type) || int64_t{header} + 2 * count > available) {
    ++missing_parts_;  // a damaged record
    return;
  }
  const GdxWord* points = data + header;
  const int32_t layer = data[1] & 0xFFFF;
  const int32_t attributes = (data[0] >> 16) & 0xFFFF;
  if (type == kGdxBoundary) {
    const std::vector<GdxWord>& p = Shifted(points, count);
    if (!ElementHitsWindow(type, data, p.data(), window_, kSelectionCrossing)) return;
    const std::vector<GdsIntPoint>& out = AsPoints(p);
    Check(GdsOutBoundary(out, layer, colour_, 0, 0));
    if (display_.fill_mode == 2) Check(GdsOutPath(out, layer, colour_, unit_factor, 1, 0, 0));
  } else if (type == kGdxPath) {
    Shifted(points, count);
    if (!ElementHitsWindow(type, data, points_.data(), window_, kSelectionCrossing)) return;
    WritePathPoints(data, layer, count);
  } else if (type == kGdxCircle && (attributes & kFilledBit) != 0 && data[4] == 0) {
    const std::vector<GdxWord>& p = Shifted(points, 1);
    Check(GdsOutCircle({p[0], p[1]}, double(data[3]) / divisor_, colour_, layer, 0, 0));
  } else {
    const std::vector<GdxWord> three(points, points + 6);
    const bool reversed = (attributes & kReversedBit) != 0;
    ArcPolyline(&three[0], &three[reversed ? 4 : 2], &three[reversed ? 2 : 4], data[3],
                display_.chord_tolerance, &arc_);
    const int32_t n = static_cast<int32_t>(arc_.size() / 2);
    const std::array<GdxWord, 5> path_header = {
        GdxElementHeaderWords(kGdxPath) | (data[0] & ~0xFFFF), layer | (n << 16), data[2] & ~0xFFFF,
        data[4], 0};
    Shifted(arc_.data(), n);
    if (!ElementHitsWindow(kGdxPath, path_header.data(), points_.data(), window_,
                           kSelectionCrossing)) {
      return;
    }
    WritePathPoints(path_header.data(), layer, n);
  }
}

// A path longer than the writer takes goes out in pieces that share their end points, so
// that no point is lost.
void PlotWriter::WritePathPoints(const GdxWord* data, int32_t layer, int32_t count) {
  points_.resize(2 * static_cast<size_t>(count));
  const std::vector<GdsIntPoint>& all = AsPoints(points_);
  const std::span<const GdsIntPoint> points(all);
  for (size_t start = 0; start + 1 < points.size() || start == 0; start += kGdsOutMaxPoints - 1) {
    const size_t n = std::min<size_t>(points.size() - start, kGdsOutMaxPoints);
    Check(GdsOutPath(points.subspan(start, n), layer, colour_, data[3], (data[2] >> 16) & 0xFFFF,
                     kPathPropertyAttribute, 0));
    if (start + n >= points.size()) break;
  }
}

void PlotWriter::WriteFrameGrid() {
  const int64_t w = display_.frame_width, h = display_.frame_height;
  const int64_t columns = display_.frame_columns, rows = display_.frame_rows;
  if (w <= 0 || h <= 0 || columns <= 0 || rows <= 0) return;
  const auto line = [&](int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    x0 += offset_x_, x1 += offset_x_, y0 -= offset_y_, y1 -= offset_y_;
    if (!Overlaps(std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1),
                  window_)) {
      return;
    }
    const std::vector<GdsIntPoint> two = {{Saturate(double(x0)), Saturate(double(y0))},
                                          {Saturate(double(x1)), Saturate(double(y1))}};
    Colour(1);
    Check(GdsOutPath(two, 0, 0, 0, 0, 0, 0));
    Colour(colour_);
  };
  const bool border_only = display_.frames_display == 1;
  for (int64_t c = 0; c <= columns && !failed_; c += border_only ? columns : 1) {
    line(c * w, 0, c * w, rows * h);
  }
  for (int64_t r = 0; r <= rows && !failed_; r += border_only ? rows : 1) {
    line(0, r * h, columns * w, r * h);
  }
}

void PlotWriter::WriteGlassOutline() {
  if (!display_.glass_shown || !display_.glass) return;
  Colour(1);
  Check(GdsOutPath(RectanglePoints(*display_.glass), 0, 0, display_.glass_outline_width, 0, 0, 0));
  Colour(colour_);
}

bool GlassMissesWindow(const PlotDisplay& display, const GdxRect& window) {
  if (!display.glass_shown || !display.glass) return false;
  bool negative = false;
  for (int layer = 0; layer < kViewLayerCount; ++layer) {
    const ViewLayerEntry& e = LayerTable()[layer];
    negative |=
        !e.path.empty() && e.shown && e.library != kGdxNoHandle && e.fill_mode == kFillNegative;
  }
  const GdxRect& g = *display.glass;
  return negative && (std::max(window.min_x, g.min_x) >= std::min(window.max_x, g.max_x) ||
                      std::max(window.min_y, g.min_y) >= std::min(window.max_y, g.max_y));
}

int Fail(const std::string& file, const char* text, int result) {
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
  ShowMessage(text, "", MessageIcon::kStop);
  return result;
}

}  // namespace

PlotWindowState& PlotWindowStore() {
  static PlotWindowState state;
  return state;
}

bool StorePlotWindow(const GdxRect& rect) {
  if (rect.min_x == rect.max_x || rect.min_y == rect.max_y) return false;
  PlotWindowStore() = {{std::min(rect.min_x, rect.max_x), std::min(rect.min_y, rect.max_y),
                        std::max(rect.min_x, rect.max_x), std::max(rect.min_y, rect.max_y)},
                       true};
  return true;
}

std::string PlotHost::TemporaryDirectory() {
  std::error_code error;
  const std::filesystem::path dir = std::filesystem::temp_directory_path(error);
  return error ? std::string(".") : dir.string();
}

PlotHost::~PlotHost() {
  if (GdxLibraryFromHandle(loaded_frame_) != nullptr) GdxFreeLibrary(loaded_frame_);
}

GdxHandle PlotHost::LoadFrame(int layer, int32_t k) {
  // One section in memory at a time: the previous one is freed before the next loads.
  if (loaded_frame_ != kGdxNoHandle && loaded_layer_ == layer && loaded_section_ == k &&
      GdxLibraryFromHandle(loaded_frame_) != nullptr) {
    return loaded_frame_;
  }
  if (GdxLibraryFromHandle(loaded_frame_) != nullptr) GdxFreeLibrary(loaded_frame_);
  loaded_frame_ = LoadWf2Frame(LayerTable()[layer].frame_block, layer, k);
  loaded_layer_ = loaded_frame_ != kGdxNoHandle ? layer : -1;
  loaded_section_ = loaded_frame_ != kGdxNoHandle ? k : -1;
  return loaded_frame_;
}

int GeneratePlotData(PlotHost* host, const std::string* config_path, const std::string& file) {
  const PlotDisplay display = host->Display();
  PlotWindowState& store = PlotWindowStore();
  if (!store.pending) store.window = display.view_window;
  store.pending = false;
  const GdxRect window = store.window;
  if (GlassMissesWindow(display, window)) {
    return Fail(file, "The plot window does not meet the glass: there is nothing to plot.",
                kPlotDataNothing);
  }
  const ViewerDisplayUnits& units = CurrentViewerServices().DisplayUnits();
  const double divisor = units.scale_divisor != 0 ? units.scale_divisor : 1;
  if (GdsOutOpen(file, units.metres_per_user_unit, 1.0 / divisor, "", false) != kGdsOutOk) {
    GdsOutClose();
    return Fail(file, "Cannot create intermediate file", kPlotDataNotCreated);
  }
  if (config_path != nullptr) {
    WritePlotConfig(*config_path, display.job_extents, window, display.fill_mode);
  }
  PlotWriter writer(host, display, window);
  int result = GdsOutBeginStructure("TOP");
  if (result != kGdsOutFailed) result = writer.WriteLayers();
  if (result != kGdsOutFailed && !writer.failed()) writer.WriteGlassOutline();
  GdsOutEndStructure();
  if (GdsOutClose() != kGdsOutOk || result == kGdsOutFailed || writer.failed()) {
    return Fail(file, "Cannot create intermediate file", kPlotDataNotCreated);
  }
  std::string missing;
  if (writer.cut_elements() > 0) {
    missing = std::to_string(writer.cut_elements()) +
              " element(s) were cut to the plot file's limit of 5000 points";
  }
  if (writer.missing_parts() > 0) {
    missing += (missing.empty() ? "" : "; ") + std::to_string(writer.missing_parts()) +
               " WF2 section(s), structure(s) or damaged element(s) could not be read";
  }
  if (!missing.empty()) {
    ShowMessage("The plot is incomplete: " + missing + ".", "Plot", MessageIcon::kWarning);
  }
  return kPlotDataWritten;
}

}  // namespace kavrinth
