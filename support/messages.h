// The numbered message texts every program carries, and the composition of the
// main window's title from the application's name and the open files.
#pragma once

#include <string>
#include <string_view>

namespace kavrinth {

// Ids the library's own dialogs load; the other texts are for the programs.
enum MessageTextId : int {
  kMessageFileAlreadyExist = 4168,
  kMessageButtonCancel = 4192,
  kMessageButtonOk = 4193,
  kMessageButtonOverwrite = 4194,
  kMessageButtonBrowse = 4195,
  // The system error texts are stored at this id plus the platform's error number.
  kMessageSystemErrorBase = 32512,
};

// The text of a numbered message, or null for an id that has none.
const char* LoadMessageText(int id);

// The name, or the application's name when none is given.
std::string MakeTitleString(const char* name, std::string_view application_name);

// The main window's title. With the document flag the document part is the file name
// of the first file, then "," and the second file's name when that file exists, then
// " - [extra]" when extra text is given. An empty document part gives the application
// title alone; otherwise "document - application" with the prefix title style, else
// "application - document".
std::string ComposeFrameTitle(std::string_view app_title, bool document_flag,
                              std::string_view first_file, const char* second_file,
                              const char* extra_text, bool prefix_title_style);

}  // namespace kavrinth
