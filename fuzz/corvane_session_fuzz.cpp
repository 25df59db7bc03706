// Fuzz target of Corvane's stored session: the input read as the settings store
// "Corvane", the session written back with Corvane's writer and read again into a fresh
// session, which must give the same values, and saved again, the same bytes. A value with a line
// break is then refused by name, and the store keeps what it held.
#include <stdlib.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "corvane/core/settings.h"
#include "fuzz/fuzz_support.h"

namespace kavrinth {
namespace {

bool Same(const CorvaneSession& a, const CorvaneBarFlags& fa, const CorvaneSession& b,
          const CorvaneBarFlags& fb) {
  return a.input_file == b.input_file && a.working_directory == b.working_directory &&
         a.gds_viewer_path == b.gds_viewer_path && a.pg_viewer_path == b.pg_viewer_path &&
         a.options.scale == b.options.scale && a.options.files_format == b.options.files_format &&
         a.options.files_unit == b.options.files_unit && fa.control_dialog == fb.control_dialog &&
         fa.toolbar == fb.toolbar && fa.statusbar == fb.statusbar;
}

std::string ReadStore(const fuzz::ScratchDirectory& scratch) {
  std::ifstream in(scratch.File("Kavrinth/Corvane.ini"), std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

}  // namespace
}  // namespace kavrinth

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  fuzz::BeQuiet();
  const fuzz::ScratchDirectory& scratch = fuzz::ScratchDirectory::Get();
  static const bool configured = [&] {
    ::setenv("XDG_CONFIG_HOME", scratch.path().c_str(), 1);
    return ::mkdir(scratch.File("Kavrinth").c_str(), 0700) == 0;
  }();
  if (!configured) std::abort();
  scratch.Write("Kavrinth/Corvane.ini", data, size);
  CAppProfile profile;
  if (!profile.Open(kCorvaneProfileName)) std::abort();
  CorvaneSession first;
  CorvaneBarFlags first_flags;
  LoadCorvaneSettings(profile, first, first_flags);
  if (SaveCorvaneSettings(profile, first, first_flags) != 1) return 0;  // input not an INI file
  CorvaneSession again;
  CorvaneBarFlags again_flags;
  LoadCorvaneSettings(profile, again, again_flags);
  if (!Same(first, first_flags, again, again_flags)) std::abort();
  // Saved again from what it read, the store is the same bytes.
  const std::string saved = ReadStore(scratch);
  if (SaveCorvaneSettings(profile, again, again_flags) != 1) std::abort();
  if (ReadStore(scratch) != saved) std::abort();
  // A value the store cannot hold is named and fails the save; the store keeps what it had.
  CorvaneSession broken = again;
  broken.working_directory += "\r\n" + again.input_file;
  std::vector<std::string> refused;
  if (SaveCorvaneSettings(profile, broken, again_flags, &refused) != 0) std::abort();
  if (refused != std::vector<std::string>{"WorkingDirectory"}) std::abort();
  CorvaneSession kept;
  CorvaneBarFlags kept_flags;
  LoadCorvaneSettings(profile, kept, kept_flags);
  if (!Same(again, again_flags, kept, kept_flags)) std::abort();
  return 0;
}
