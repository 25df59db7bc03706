// Fuzz target of the GDSII -> PG engine's record loop: the three passes of a job over
// the input, with polygons and paths handed to the PG library's own decomposition.
// The first input byte picks the job's options; every structure the input names is
// selected.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "companions/vantor/session.h"
#include "fuzz/fuzz_support.h"
#include "tabreng/record_loop.h"

namespace kavrinth {
namespace {

// The PG library of libvantor.so, called in this process.
class SessionPgLibrary : public PgLibrary {
 public:
  int32_t Init(PgInitArguments&) override { return session_.Init(PgInitValues()); }
  int32_t Polygon(const int32_t* points, int32_t count, PgTrapezoid* table, int32_t capacity,
                  double fixup, const char* name) override {
    return session_.Polygon(points, &count, table, &capacity, &fixup,
                            StructureName(name, kPgNameLength));
  }
  int32_t Path(const int32_t* points, int32_t count, double, const char* name) override {
    return session_.Path(points, &count, StructureName(name, kPgNameLength));
  }
  int32_t Close(int32_t* warnings, int32_t* errors) override {
    return session_.Close(warnings, errors);
  }

 private:
  VantorSession session_;
};

// The library's files live in the scratch directory; its log goes nowhere.
SessionPgLibrary& OpenPgLibrary() {
  static SessionPgLibrary library;
  static const bool opened = [] {
    const fuzz::ScratchDirectory& scratch = fuzz::ScratchDirectory::Get();
    if (::chdir(scratch.path().c_str()) != 0) return false;
    scratch.Write("pg.cfg", "SMALLANGLE\r\n0.1\r\n\r\n");
    if (::symlink("/dev/null", "pg.log") != 0) return false;
    PgInitArguments arguments;
    return library.Init(arguments) == 0;
  }();
  if (!opened) std::abort();
  return library;
}

EngineOptions OptionsFor(uint8_t bits) {
  EngineOptions options;
  options.counting_pass = (bits & 1) != 0;
  options.polygon_mode = (bits & 2) != 0;
  options.scan_mode = (bits & 4) != 0;
  options.prune = (bits & 8) != 0;
  if ((bits & 16) != 0) {
    options.exclude_mode = true;
    options.excluded.Add(2);
  }
  return options;
}

JobSettings SettingsFor(uint8_t bits) {
  JobSettings settings;
  settings.path_mode = (bits >> 5) & 3;
  settings.min_line = (bits & 0x80) != 0 ? 0.05 : 0;
  return settings;
}

// Selects every structure the stream names, as a scan report of it would.
void SelectNamedStructures(std::span<const uint8_t> stream, StructureSelection& selection) {
  GdsRecordReader reader;
  if (!reader.OpenBytes(stream)) return;
  GdsRecord record;
  while (reader.Next(&record) == GdsReadStatus::kRecord && selection.size() < 256) {
    if (record.type == kGdsStrName) selection.Add(record.Text());
  }
}

}  // namespace
}  // namespace kavrinth

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  if (size < 2) return 0;
  fuzz::BeQuiet();
  static WorkArrays work = [] {
    WorkArrays arrays;
    if (AllocateWorkArrays(arrays) >= 0) std::abort();
    return arrays;
  }();
  const std::span<const uint8_t> stream(data + 2, size - 2);
  const EngineOptions options = OptionsFor(data[0]);
  const JobSettings settings = SettingsFor(data[1]);
  StructureSelection selection;
  SelectNamedStructures(stream, selection);
  GdsRecordReader input;
  if (!input.OpenBytes(stream)) return 0;
  EngineLog log;  // never opened: writes go nowhere

  LoopContext context;
  context.options = &options;
  context.settings = &settings;
  context.selection = &selection;
  context.pg = &OpenPgLibrary();
  context.log = &log;
  context.work = &work;
  context.input = &input;
  context.input_name = "input.gds";
  context.translated_name = "input.gdx";
  context.translated_path = "/dev/null";
  context.null_device = "/dev/null";
  RecordLoop loop(context);
  if (loop.TranslateStream(kUnitsPass) != 0) return 0;
  if (loop.TranslateStream(kUnitsPass) != 0) return 0;
  (void)loop.TranslateStream(kFullPass);
  return 0;
}
