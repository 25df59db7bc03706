// Fuzz target of the text readers of the support library: the buffered file's
// character, line, token and number readers, the line file, and a report template
// copied by the text file pair.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz/fuzz_support.h"
#include "support/buf_file.h"
#include "support/line_file.h"

namespace kavrinth {
namespace {

// Mixes the buffered file's readers in the order the input's own bytes choose.
void ReadBuffered(const std::string& path, const char* mode, size_t size) {
  std::unique_ptr<BufFile> file = BufFileOpen(path.c_str(), mode);
  if (!file) std::abort();
  std::string text;
  // Seeks may go back: the steps are bounded by the input's size.
  for (size_t step = 0; step < 2 * size + 16; ++step) {
    const int choice = BufFileGetByte(file.get());
    if (choice < 0) break;
    switch (choice % 6) {
      case 0:
        (void)BufFileGetChar(file.get());
        break;
      case 1:
        (void)BufFileGetLine(file.get(), &text, 1 + choice % 40);
        if (text.size() > static_cast<size_t>(choice % 40)) std::abort();
        break;
      case 2:
        (void)BufFileGetToken(&text, 2 + choice % 40, file.get());
        break;
      case 3:
        (void)BufFileReadInt(file.get());
        break;
      case 4:
        (void)BufFileUngetChar(choice, file.get());
        (void)BufFileTell(file.get());
        break;
      default:
        (void)BufFileSeek(file.get(), choice - 128, choice % 3);
        break;
    }
  }
}

void ReadLines(const std::string& path) {
  CLineFile lines;
  if (!lines.Open(path)) std::abort();
  size_t total = 0;
  while (lines.ReadLine() == 1) total += lines.line().size() + 1;
  if (total > static_cast<size_t>(lines.Length()) + 1) std::abort();
}

void CopyTemplate(const std::string& path) {
  TextPair pair;
  if (pair.Open(path, "/dev/null") != 0) std::abort();
  std::string token;
  int marker;
  while ((marker = pair.NextToken(&token, 256)) >= 0) {
    if (token.size() > 255) std::abort();
    if (pair.PutLine(token) != 0) std::abort();
  }
  if (marker != -1 || pair.Close() != 0) std::abort();
}

}  // namespace
}  // namespace kavrinth

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  const std::string path = fuzz::ScratchDirectory::Get().Write("input.txt", data, size);
  ReadBuffered(path, "rb", size);
  ReadBuffered(path, "r+b", size);  // not loaded whole: read through the buffer
  ReadLines(path);
  CopyTemplate(path);
  return 0;
}
