// The job loader and the error-coordinate list loader.
#include "viewer/model/job_loading.h"

#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/args.h"
#include "support/buf_file.h"
#include "support/paths.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/pg_scan.h"
#include "viewer/model/viewer_services.h"
#include "viewer/model/wf2_scan.h"

namespace kavrinth {
namespace {

constexpr size_t kErrorLineSize = 1025;
constexpr char kErrorSeparators[] = "<>(),";

// The whole text as a number of the type, or nothing.
template <typename T>
std::optional<T> Number(std::string_view text) {
  T value{};
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data() + (text[0] == '+'), end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

// WF2 files are known by their extension; every other file is read as PG data.
bool IsWf2Path(std::string_view path) {
  std::string extension;
  SplitExtension(path, nullptr, &extension);
  return extension.size() == 4 && extension[0] == '.' &&
         std::toupper(static_cast<unsigned char>(extension[1])) == 'W' &&
         std::toupper(static_cast<unsigned char>(extension[2])) == 'F' && extension[3] == '2';
}

// Scans a WF2 layer: the whole file as the entry's library, or a file larger than the
// memory limit as a frame index from which the drawing loads one section at a time. True
// when the layer can be shown.
bool ScanWf2Layer(ScanProgress* progress, ViewLayerEntry* entry, int32_t layer,
                  ScanStatus* status) {
  Wf2ScanResult result;
  entry->library = ScanWf2File(progress, entry->path, layer, &result);
  entry->frame_count = 0;
  if (result.status == Wf2ScanStatus::kCancelled) *status = ScanStatus::kCancelled;
  if (result.status == Wf2ScanStatus::kIndexed) {
    entry->frame_block = result.frame_index;
    entry->frame_count = result.sections;
  }
  if (result.status != Wf2ScanStatus::kLoaded && result.status != Wf2ScanStatus::kIndexed) {
    return false;
  }
  entry->file_size = LastWf2Scan().file_size;
  return true;
}

int32_t Saturate(double value) {
  if (!(value > INT32_MIN)) return INT32_MIN;
  return value < INT32_MAX ? static_cast<int32_t>(value) : INT32_MAX;
}

// Sets the display's database units per user unit and grid spacing from a loaded library.
void TakeDisplayUnits(const GdxLibrary& library) {
  if (library.user_unit == 0) return;
  ViewerDisplayUnits& display = CurrentViewerServices().DisplayUnits();
  display.database_units_per_user_unit =
      Saturate(std::round(library.scale_factor / library.user_unit));
  const double grid = Number<double>(display.grid_spacing_text.empty() ? std::string_view("1.0")
                                                                       : display.grid_spacing_text)
                          .value_or(1.0);
  display.grid_spacing = GridStepOfSpacing(grid, display.database_units_per_user_unit);
}

// The points of one run of error lines on one layer.
struct ErrorRun {
  int32_t layer = 0;
  std::vector<GdxWord> points;
};

void FlushErrorRun(ErrorRun* run) {
  if (run->points.empty()) return;
  const ViewerDisplayUnits& display = CurrentViewerServices().DisplayUnits();
  const int32_t divisor = display.scale_divisor != 0 ? display.scale_divisor : 1;
  const int64_t half_height = Wf2HeaderWord(JobState().wf2_header, 108);
  for (size_t i = 0; i < run->points.size(); i += 2) {
    run->points[i] = Saturate(double(run->points[i]) - display.origin_x / divisor);
    run->points[i + 1] =
        Saturate(double(display.origin_y / divisor) + 2.0 * half_height - run->points[i + 1]);
  }
  GdxSetLayer(run->layer);
  GdxBeginMarkerList();
  GdxSetMarkerValues(0, 0);
  GdxAddPoints(1, run->points.data(), static_cast<int32_t>(run->points.size()));
  GdxEndElement();
  run->points.clear();
}

struct ErrorLine {
  int32_t layer;
  double x;
  double y;
};

std::optional<ErrorLine> ParseErrorLine(std::string line, std::vector<std::string>* words) {
  for (char& c : line) {
    if (std::string_view(kErrorSeparators).find(c) != std::string_view::npos) c = ' ';
  }
  *words = SplitWords(line, 5);
  if (words->size() != 3) return std::nullopt;
  const auto layer = Number<int32_t>((*words)[0]);
  const auto x = Number<double>((*words)[1]);
  const auto y = Number<double>((*words)[2]);
  if (!layer || !x || !y) return std::nullopt;
  return ErrorLine{*layer, *x, *y};
}

}  // namespace

int LoadJobFiles(ScanProgress* progress) {
  GdxResetBytesAllocated();
  ViewerJobState& state = JobState();
  state.loaded = 0;
  state.load_cancelled = false;
  // What the scans of the files before leave behind belongs to their job: a job without WF2
  // files has no pattern header, and a job without PG files no code set.
  state.wf2_header = {};
  state.code_set_name.clear();
  bool existed = false;
  bool loaded = false;
  for (int n = 0; n < kViewLayerCount; ++n) {
    ViewLayerEntry& entry = LayerTable()[n];
    if (entry.path.empty()) {
      if (entry.library != kGdxNoHandle) GdxFreeLibrary(entry.library);
      entry.library = kGdxNoHandle;
      entry.shown = 0;
      entry.colour = kColorWhite;
      entry.x_offset = entry.y_offset = 0;
      continue;
    }
    if (!FileExists(entry.path)) continue;
    existed = true;
    if (entry.library != kGdxNoHandle) GdxFreeLibrary(entry.library);
    if (entry.frame_block != kGdxNoHandle) GdxFreeBlock(entry.frame_block);
    entry.frame_block = kGdxNoHandle;
    ScanStatus status = ScanStatus::kLoaded;
    if (IsWf2Path(entry.path)) {
      if (ScanWf2Layer(progress, &entry, n, &status)) loaded = true;
    } else {
      entry.library = ScanPgFile(progress, entry.path, n, &status);
    }
    ++state.loaded;
    if (const GdxLibrary* library = GdxLibraryFromHandle(entry.library)) {
      if (entry.frame_block == kGdxNoHandle) entry.frame_count = 0;
      loaded = true;
      TakeDisplayUnits(*library);
    }
    if (status == ScanStatus::kCancelled) {
      state.load_cancelled = true;
      break;
    }
  }
  if (!existed) return -1;
  if (!loaded) return 1;
  CurrentViewerServices().ClearEmptyDisplayFlag();
  return 0;
}

GdxHandle LoadErrorList() {
  ViewerServices& services = CurrentViewerServices();
  const std::string path = services.ErrorListPath();
  if (path.empty()) return kGdxNoHandle;
  std::unique_ptr<BufFile> file = BufFileOpen(path.c_str(), "rb");
  if (!file || BufFileSize(file.get()) == 0) return kGdxNoHandle;
  const ViewerDisplayUnits display = services.DisplayUnits();
  const double v = display.user_units_per_database_unit;
  if (GdxBeginLibrary(path) == nullptr) return kGdxNoHandle;
  GdxSetUnits(v, 1e-6 * v);
  GdxStartStructure();
  GdxBeginStructure("ErrCircle");
  services.ErrorListClear();
  const double factor = double(display.database_units_per_user_unit) /
                        (display.scale_divisor != 0 ? display.scale_divisor : 1);
  std::optional<ErrorRun> run;
  std::string line;
  std::vector<std::string> words;
  while (BufFileGetLine(file.get(), &line, kErrorLineSize)) {
    const std::optional<ErrorLine> error = ParseErrorLine(line, &words);
    if (!error) continue;
    services.ErrorListAddRow(words[0] + "\t" + words[1] + "\t" + words[2]);
    if (run && (run->layer != error->layer || run->points.size() / 2 >= kGdxMaxPoints)) {
      FlushErrorRun(&*run);
    }
    if (!run || run->layer != error->layer) run = ErrorRun{error->layer, {}};
    run->points.push_back(Saturate(std::trunc(error->x * factor)));
    run->points.push_back(Saturate(std::trunc(error->y * factor)));
  }
  if (run) FlushErrorRun(&*run);
  BufFileClose(std::move(file));
  GdxEndStructure();
  const GdxHandle handle = GdxEndLibrary();
  services.ErrorListLoaded();
  return handle;
}

}  // namespace kavrinth
