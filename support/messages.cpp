// The library's message table and the frame title.
#include "support/messages.h"

#include <algorithm>
#include <array>

#include "support/paths.h"

namespace kavrinth {
namespace {

struct MessageText {
  int id;
  const char* text;
};

// Sorted by id.
constexpr std::array kMessageTexts = {
    MessageText{3841, "PATH"},
    MessageText{3842, "ASM0"},
    MessageText{3843, "ComSpec"},
    MessageText{3844, "TMPDIR"},
    MessageText{4096, "Error registering window class"},
    MessageText{4097, "Window creation failed!"},
    MessageText{4098, "Program is busy"},
    MessageText{4112, "User Break!  Function terminated."},
    MessageText{4113, "Not enough memory to continue"},
    MessageText{4114, "Cannot execute program - program corrupted"},
    MessageText{4115, "Cannot create program process"},
    MessageText{4160, "File data corrupted"},
    MessageText{4161, "Cannot create file"},
    MessageText{4162, "Cannot open file"},
    MessageText{4163, "File data corrupted - reading failed"},
    MessageText{4164, "File writing failed - disk may be full"},
    MessageText{4165, "Cannot close file"},
    MessageText{4166, "Cannot remove/delete file"},
    MessageText{4167, "File not found"},
    MessageText{4168, "File already exist"},
    MessageText{4169, "Path not found"},
    MessageText{4170, "Cannot load DLL file"},
    MessageText{4192, "Cancel"},
    MessageText{4193, "OK"},
    MessageText{4194, "Overwrite"},
    MessageText{4195, "Browse"},
    MessageText{32512, "Out of memory"},
    MessageText{32513, "Incorrect function"},
    MessageText{32514, "File not found"},
    MessageText{32515, "Path not found"},
    MessageText{32516, "The system cannot open any more file"},
    MessageText{32517, "Access is denied"},
    MessageText{32518, "Invalid handle"},
    MessageText{32519, "The storage control block were destroyed"},
    MessageText{32520, "Not enough storage is available to process this command"},
    MessageText{32521, "The storage control block address is invalid"},
    MessageText{32522, "The environment is incorrect"},
    MessageText{32523, "An attempt was made to load a program with an incorrect format"},
    MessageText{32524, "The access code is invalid"},
    MessageText{32525, "The data is invalid"},
    MessageText{32526, "Not enough storage is available to complete this operation"},
    MessageText{32527, "The system cannot find the drive specified"},
    MessageText{32528, "The directory cannot be removed"},
    MessageText{32529, "The system cannot move a file to a different disk drive"},
    MessageText{32530, "There are no more files"},
    MessageText{32531, "The media is write protected"},
    MessageText{32544,
                "The process cannot access the file because it is being used by another "
                "process"},
    MessageText{32545,
                "The process cannot access the file because another process has locked "
                "a portion of the file"},
};

static_assert(std::is_sorted(kMessageTexts.begin(), kMessageTexts.end(),
                             [](const MessageText& a, const MessageText& b) {
                               return a.id < b.id;
                             }));

std::string FileNamePart(std::string_view path) {
  std::string name;
  SplitPath(path, nullptr, &name);
  return name;
}

std::string DocumentPart(std::string_view first_file, const char* second_file,
                         const char* extra_text) {
  std::string document = FileNamePart(first_file);
  if (second_file != nullptr && FileExists(second_file)) {
    document += ",";
    document += FileNamePart(second_file);
  }
  if (extra_text != nullptr) {
    document += " - [";
    document += extra_text;
    document += "]";
  }
  return document;
}

}  // namespace

const char* LoadMessageText(int id) {
  auto found = std::lower_bound(kMessageTexts.begin(), kMessageTexts.end(), id,
                                [](const MessageText& entry, int key) { return entry.id < key; });
  if (found == kMessageTexts.end() || found->id != id) return nullptr;
  return found->text;
}

std::string MakeTitleString(const char* name, std::string_view application_name) {
  return name != nullptr ? std::string(name) : std::string(application_name);
}

std::string ComposeFrameTitle(std::string_view app_title, bool document_flag,
                              std::string_view first_file, const char* second_file,
                              const char* extra_text, bool prefix_title_style) {
  std::string document =
      document_flag ? DocumentPart(first_file, second_file, extra_text) : std::string();
  if (document.empty()) return std::string(app_title);
  std::string separator = " - ";
  if (prefix_title_style) return document + separator + std::string(app_title);
  return std::string(app_title) + separator + document;
}

}  // namespace kavrinth
