// Parsing the viewer's command line into a request record.
#include "viewer/app/command_line.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "support/paths.h"

namespace kavrinth {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool IsAbsolute(std::string_view path) { return !path.empty() && path.front() == '/'; }

// The name taken from the base directory, unless it is absolute already.
std::string FromBase(std::string_view base_directory, std::string_view name) {
  if (IsAbsolute(name) || base_directory.empty()) return std::string(name);
  return MakePath(base_directory, name);
}

std::string UpperCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

void ReadFileWord(const std::string& word, std::string_view base_directory, bool keep_relative,
                  CommandLineRequest* request) {
  std::string directory;
  std::string name;
  SplitPath(word, &directory, &name);
  std::string extension;
  SplitExtension(name, nullptr, &extension);
  if (UpperCase(extension) == ".JOB") {
    request->job_path = FromBase(base_directory, word);
    return;
  }
  request->job_path = MakePath(base_directory, ReplaceExtension(name, ".job"));
  request->data_file = keep_relative && !IsAbsolute(word) ? word : FromBase(base_directory, word);
}

void ReadOption(const std::string& word, std::string_view base_directory,
                CommandLineRequest* request) {
  if (StartsWith(word, "-ram:")) {
    const std::string value = word.substr(5);
    if (const std::optional<int64_t> limit = ParseRamValue(value)) {
      request->ram_given = true;
      request->ram_limit = *limit;
    } else {
      request->problems.push_back("The value of -ram: (\"" + value +
                                  "\") is not a number of bytes; the option is ignored.");
    }
  } else if (word == "-fbclr") {
    request->layer_colour_only = true;
  } else if (StartsWith(word, "-vefn:")) {
    request->error_file_given = true;
    const std::string name = word.substr(6);
    request->error_file_name = name.empty() ? name : FromBase(base_directory, name);
  }
}

}  // namespace

std::optional<int64_t> ParseRamValue(std::string_view text) {
  if (text.empty()) return std::nullopt;
  size_t skip = text.front() == '+' ? 1 : 0;
  int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data() + skip, end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

CommandLineRequest ParseCommandLine(std::span<const std::string> words,
                                    std::string_view base_directory, bool keep_relative) {
  CommandLineRequest request;
  if (words.empty()) return request;
  SplitPath(words[0], &request.program_directory, nullptr);
  if (words.size() < 2) return request;
  size_t first_option = 1;
  if (!StartsWith(words[1], "-")) {
    request.has_file = true;
    ReadFileWord(words[1], base_directory, keep_relative, &request);
    first_option = 2;
  }
  for (size_t i = first_option; i < words.size(); ++i) {
    ReadOption(words[i], base_directory, &request);
  }
  return request;
}

std::string VexilUsage() {
  return "Usage: vexil [file] [-ram:BYTES] [-fbclr] [-vefn:ERRORFILE]\n"
         "Shows PG and WF2 data. The file is a viewer job (.job) or a data file, which is\n"
         "entered into a job of the same name in the current directory. When a viewer is\n"
         "running already, the file is handed to it and this command ends.\n"
         "  -ram:BYTES        most memory the layout database may use (0: no limit)\n"
         "  -fbclr            draw every element in its layer's colour\n"
         "  -vefn:ERRORFILE   show the error coordinates listed in the file\n";
}

}  // namespace kavrinth
