// Fuzz target of the viewer's error-coordinate list ("-vefn:"): the input read as the
// file into marker lists and rows of the error-coordinates list. Every row the list gets
// is three words, and a file that gave rows gives a library.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "viewer/model/gdx_database.h"
#include "viewer/model/job_loading.h"
#include "viewer/model/viewer_services.h"

namespace kavrinth {
namespace {

class CountingServices : public HeadlessViewerServices {
 public:
  void ErrorListClear() override { rows = 0; }
  void ErrorListAddRow(std::string_view row) override {
    size_t tabs = 0;
    for (char c : row) tabs += c == '\t';
    if (tabs != 2) std::abort();
    ++rows;
  }
  int rows = 0;
};

}  // namespace
}  // namespace kavrinth

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  fuzz::BeQuiet();
  CountingServices services;
  services.error_list_path = fuzz::ScratchDirectory::Get().Write("errors.txt", data, size);
  ScopedViewerServices scoped(&services);
  const GdxHandle library = LoadErrorList();
  if (services.rows > 0 && GdxLibraryFromHandle(library) == nullptr) std::abort();
  if (library != kGdxNoHandle) GdxFreeLibrary(library);
  return 0;
}
