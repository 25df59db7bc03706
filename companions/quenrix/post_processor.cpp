// The post-processor's run from the arguments to the committed Intermediate files.
#include "companions/quenrix/post_processor.h"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>
#include <new>

#include "companions/quenrix/flatten.h"
#include "companions/quenrix/header_stream.h"
#include "companions/quenrix/layer_outputs.h"
#include "companions/quenrix/pg_log.h"
#include "companions/vantor/pg_settings.h"
#include "platform/files.h"

namespace kavrinth {
namespace {

constexpr std::string_view kPgSettingsFile = "pg.cfg";
constexpr std::string_view kFeatureKey = "FEATURE";
constexpr double kMicronsPerMil = 25.4;

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// The translated stream as the header stream names it, relative to the working
// directory, or else beside the header stream.
std::string LocateTranslatedStream(const std::string& stored, const std::string& header_path) {
  std::string found = ResolveExistingPath(stored);
  if (Exists(found) || NativePath(stored).starts_with('/')) return found;
  size_t slash = header_path.rfind('/');
  if (slash == std::string::npos) return found;
  std::string beside = ResolveExistingPath(header_path.substr(0, slash + 1) + NativePath(stored));
  return Exists(beside) ? beside : found;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

class PostProcessorRun {
 public:
  explicit PostProcessorRun(volatile int* cancel_flag) : cancel_flag_(cancel_flag) {}
  int32_t Run(int32_t argc, char* const* argv);

 private:
  bool Cancelled() const { return cancel_flag_ != nullptr && *cancel_flag_ != 0; }
  int32_t Fail(const std::string& message);
  int32_t Stop(StepResult result, const std::string& message);
  int32_t Process(const PostProcessorArguments& args);
  int32_t Write(const HeaderStreamInfo& header, const Layout& layout, int32_t top, bool debug);
  int32_t StrokeWidthFor(const Layout& layout);
  void Report(const FlattenReport& report);

  volatile int* cancel_flag_;
  PostProcessorLog log_;
  LayerOutputs outputs_;
};

int32_t PostProcessorRun::Run(int32_t argc, char* const* argv) {
  log_.Open();
  int32_t result = -1;
  try {
    PostProcessorArguments args;
    std::string error;
    if (ParsePostProcessorArguments(argc, argv, &args, &error) != 0) {
      result = Fail(error);
    } else if (Cancelled()) {
      result = Stop(StepResult::kCancelled, {});
    } else {
      result = Process(args);
    }
  } catch (const std::bad_alloc&) {
    result = Fail("out of memory");
  } catch (const std::exception& e) {
    result = Fail(std::string("internal error: ") + e.what());
  }
  if (result >= 0) log_.Close();
  return result;
}

int32_t PostProcessorRun::Fail(const std::string& message) {
  outputs_.Discard();
  log_.Error(message);
  return -1;
}

int32_t PostProcessorRun::Stop(StepResult result, const std::string& message) {
  if (result == StepResult::kFailed) return Fail(message);
  outputs_.Discard();
  log_.Note("Post-processor: cancelled; no Intermediate file was written.");
  return -1;
}

int32_t PostProcessorRun::Process(const PostProcessorArguments& args) {
  const std::string header_path = ResolveExistingPath(args.header_stream);
  HeaderStreamInfo header;
  std::string error;
  if (ReadHeaderStream(header_path, &header, &error) != 0) return Fail(error);
  for (const std::string& note : header.notes) log_.Warning("header stream: " + note);
  const std::string translated = LocateTranslatedStream(header.translated_stream, header_path);
  log_.Note("Post-processor: header stream '" + header_path + "', translated stream '" +
            translated + "', top structure '" + header.top_structure + "'.");

  std::vector<bool> output_layers(kPgLayerCount, false);
  for (int layer : header.layers) output_layers[layer] = true;
  Layout layout;
  StepResult read =
      ReadTranslatedStream(translated, output_layers, cancel_flag_, log_, &layout, &error);
  if (read != StepResult::kDone) return Stop(read, error);
  const int32_t top = layout.Find(header.top_structure);
  if (top < 0) {
    return Fail("the top structure '" + header.top_structure + "' is not in the translated stream");
  }
  return Write(header, layout, top, args.debug || args.debugx);
}

int32_t PostProcessorRun::Write(const HeaderStreamInfo& header, const Layout& layout, int32_t top,
                                bool debug) {
  FlattenSettings settings;
  settings.stroke_width = StrokeWidthFor(layout);
  settings.cancel_flag = cancel_flag_;
  if (debug) {
    log_.Note("Post-processor: " + Number(layout.user_units_per_database_unit) +
              " user units and " + Number(layout.metres_per_database_unit) +
              " m per database unit; " + std::to_string(layout.structures.size()) +
              " structures; stroke pen " + std::to_string(settings.stroke_width) +
              " database units.");
  }
  if (header.layers.empty()) log_.Note("Post-processor: the header stream names no output layer.");
  // The converters read Intermediate coordinates in microns or mils, whatever the
  // database unit is.
  const bool metric =
      IsMetricUserUnit(layout.metres_per_database_unit / layout.user_units_per_database_unit);
  const double units_per_database_unit =
      layout.metres_per_database_unit / (metric ? 1e-6 : 25.4e-6);
  if (!outputs_.Create(header.top_structure, header.layers, units_per_database_unit)) {
    return Fail(outputs_.error());
  }
  FlattenReport report;
  std::string error;
  StepResult flat = FlattenLayout(layout, top, settings, outputs_, &report, &error);
  if (!outputs_.ok()) return Fail(outputs_.error());
  if (flat != StepResult::kDone) return Stop(flat, error);
  if (Cancelled()) return Stop(StepResult::kCancelled, {});
  if (!outputs_.Commit()) return Fail(outputs_.error());
  Report(report);
  for (const auto& file : outputs_.files()) {
    log_.Note(file->final_name() + ": " + std::to_string(file->quadrilaterals()) +
              " quadrilaterals, " + std::to_string(file->sectors()) + " sectors.");
  }
  return static_cast<int32_t>(std::min<int64_t>(log_.warnings(), INT32_MAX));
}

int32_t PostProcessorRun::StrokeWidthFor(const Layout& layout) {
  std::optional<double> feature = ReadFeatureSize(kPgSettingsFile);
  const bool metric =
      IsMetricUserUnit(layout.metres_per_database_unit / layout.user_units_per_database_unit);
  const double size =
      feature.value_or(metric ? kDefaultMetricFeatureSize : kDefaultEnglishFeatureSize);
  bool strokes = false;
  for (const Structure& s : layout.structures) strokes = strokes || !s.strokes.empty();
  if (strokes && !feature) {
    log_.Note("Post-processor: pg.cfg gives no feature size; text strokes are drawn " +
              Number(size) + (metric ? " um" : " mil") + " wide.");
  }
  return StrokeWidth(size, layout);
}

void PostProcessorRun::Report(const FlattenReport& report) {
  if (report.out_of_range > 0) {
    log_.Warning(std::to_string(report.out_of_range) +
                 " placed shapes leave the 32-bit coordinate range and are not drawn");
  }
  if (report.imprecise > 0) {
    log_.Warning(std::to_string(report.imprecise) + " shapes lie beyond +/-" +
                 std::to_string(kIntermediateExactLimit) +
                 " database units, where the Intermediate format's floats may move a "
                 "coordinate by a unit or more");
  }
  if (report.incomplete_strokes > 0) {
    log_.Warning(std::to_string(report.incomplete_strokes) + " text strokes are not wholly drawn");
  }
}

}  // namespace

int ParsePostProcessorArguments(int32_t argc, char* const* argv, PostProcessorArguments* args,
                                std::string* error) {
  *args = PostProcessorArguments();
  for (int32_t i = 1; argv != nullptr && i < argc && argv[i] != nullptr; ++i) {
    std::string_view arg = argv[i];
    if (arg == "-debug") {
      args->debug = true;
    } else if (arg == "-debugx") {
      args->debugx = true;
    } else if (args->header_stream.empty() && !arg.starts_with('-')) {
      args->header_stream = arg;
    } else {
      *error = "unknown argument '" + std::string(arg) + "'";
      return 1;
    }
  }
  if (args->header_stream.empty()) {
    *error = "no header stream was given";
    return 1;
  }
  return 0;
}

bool IsMetricUserUnit(double metres_per_user_unit) {
  const double microns = metres_per_user_unit / 1e-6;
  if (!(microns > 0) || !std::isfinite(microns)) return false;
  const double power = std::pow(10.0, std::round(std::log10(microns)));
  return std::fabs(power / microns - 1) < 0.001;
}

std::optional<double> ReadFeatureSize(std::string_view path) {
  auto records = ReadSettingsRecords(path);
  if (!records) return std::nullopt;
  for (const SettingsRecord& record : *records) {
    if (record.key != kFeatureKey || record.values.empty()) continue;
    std::string_view text = record.values.front();
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc() && value > 0 && std::isfinite(value)) return value;
    return std::nullopt;
  }
  return std::nullopt;
}

int32_t StrokeWidth(double feature_size, const Layout& layout) {
  const double metres_per_user_unit =
      layout.metres_per_database_unit / layout.user_units_per_database_unit;
  const double metres = IsMetricUserUnit(metres_per_user_unit)
                            ? feature_size * 1e-6
                            : feature_size * kMicronsPerMil * 1e-6;
  const double width = metres / layout.metres_per_database_unit;
  if (!(width >= 1)) return 1;
  return width >= INT32_MAX ? INT32_MAX : static_cast<int32_t>(std::llround(width));
}

int32_t RunPostProcessor(int32_t argc, char* const* argv, volatile int* cancel_flag) {
  PostProcessorRun run(cancel_flag);
  return run.Run(argc, argv);
}

}  // namespace kavrinth
