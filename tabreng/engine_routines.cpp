// Small routines of the engine.
#include "tabreng/engine_routines.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/process.h"
#include "support/notifier.h"

namespace kavrinth {
namespace {

constexpr size_t kCopyBlock = 32768;

bool IsFile(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

}  // namespace

int FindOnPathList(std::string_view name, std::string* path, std::string_view list) {
  path->clear();
  auto try_directory = [&](std::string_view directory) {
    if (directory.empty()) directory = ".";
    std::string candidate(directory);
    if (candidate.back() != '/') candidate += '/';
    candidate.append(name);
    if (!IsFile(candidate)) return false;
    *path = std::move(candidate);
    return true;
  };
  if (try_directory(".")) return 0;
  while (!list.empty()) {
    const size_t end = list.find(':');
    if (try_directory(list.substr(0, end))) return 0;
    if (end == std::string_view::npos) break;
    list.remove_prefix(end + 1);
  }
  return -1;
}

void GetEnvInto(const char* name, std::string* text) {
  const char* value = std::getenv(name);
  text->assign(value != nullptr ? value : "");
}

void VersionString(std::string* text) { text->assign(kEngineVersionText); }

int CopyFileInto(const std::string& path, std::FILE* stream, bool remove) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    ShowMessage("Unable to stat file to be copied '" + path + "'.", "", MessageIcon::kWarning);
    return 1;
  }
  auto cannot_read = [&path] {
    ShowMessage("Unable to open file to be copied '" + path + "' for input.", "",
                MessageIcon::kWarning);
    return 1;
  };
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> source(
      S_ISDIR(status.st_mode) ? nullptr : std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!source) return cannot_read();
  std::vector<char> block(kCopyBlock);
  bool written = true;
  for (;;) {
    const size_t got = std::fread(block.data(), 1, block.size(), source.get());
    if (got > 0 && std::fwrite(block.data(), 1, got, stream) != got) written = false;
    if (got < block.size()) break;
  }
  const bool read = !std::ferror(source.get());
  source.reset();
  if (!read) return cannot_read();
  if (!written) return 1;  // the stream's own error, for its writer to report
  if (remove) ::unlink(path.c_str());
  return 0;
}

std::string FormatThousands(int64_t value) {
  const bool negative = value < 0;
  // The magnitude as unsigned, so that the most negative value has one too.
  const uint64_t magnitude =
      negative ? ~static_cast<uint64_t>(value) + 1 : static_cast<uint64_t>(value);
  const std::string digits = std::to_string(magnitude);
  std::string text = negative ? "-" : "";
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

void FlushAndExit(int32_t code) {
  std::fflush(stdout);
  ExitWithResult(code);
}

}  // namespace kavrinth
