// Fuzz target of Corvane's job log: the input up to its first zero byte is the engine's
// log, the rest (when there is one) the GDS output path. The rewritten log must be the
// header and the run summary with the whole path, then the engine's log byte for byte, and
// the engine's log kept aside while it was rewritten must be gone.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "corvane/core/translate.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  fuzz::BeQuiet();
  const fuzz::ScratchDirectory& scratch = fuzz::ScratchDirectory::Get();
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  const std::string_view engine_log = input.substr(0, split);
  // The output path is always longer than any line buffer.
  const std::string output =
      "/out/" + std::string(3000, 'o') +
      std::string(split == std::string_view::npos ? std::string_view() : input.substr(split + 1));
  const std::string log = scratch.Write("demo.log", engine_log);
  const std::string lg2 = scratch.File("demo.lg2");
  std::tm end{};
  end.tm_year = 126;
  end.tm_mday = 11;
  const std::string summary = JobLogHeader() + FormatRunSummary(output, end, 12);
  FUZZ_CHECK(summary.find("GDS Output File:\t" + output + "\r\n") != std::string::npos);
  FUZZ_CHECK(RewriteJobLog(log, lg2, summary) == 0);
  std::ifstream in(log, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  FUZZ_CHECK(text == summary + std::string(engine_log));
  FUZZ_CHECK(::access(lg2.c_str(), F_OK) != 0);
  return 0;
}
