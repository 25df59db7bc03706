// The engine's message table and message box, and the number layout of each unit code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pg2gds/engine_run.h"

namespace kavrinth {

// Message codes the engine raises (the table holds the texts of codes 15 to 38).
enum EngineMessageCode : int {
  kMsgNoSourceFile = 15,
  kMsgCannotOpenWorkingFiles = 16,
  kMsgFileReadingError = 18,
  kMsgUnitMismatch = 21,
  kMsgNotEnoughParameters = 23,
  kMsgFileWritingError = 27,
  kMsgCannotInitializeOutput = 29,
  kMsgProblemClosingOutput = 30,
};
inline constexpr int kFirstEngineMessage = 15;
inline constexpr int kLastEngineMessage = 38;

// The text of a code, or an empty view outside 15..38.
std::string_view EngineMessageText(int code);

// How ShowEngineMessage adds its argument to the text.
enum EngineMessageStyle : int {
  kMessagePlain = 0,
  kMessageWithName = 1,    // "%s,\n%s." with a name (a file path)
  kMessageWithNumber = 2,  // "%s, %d."
  kMessageWithReal = 3,    // "%s, %lf."
};

// The message of the code formatted by the style; empty outside 15..38.
std::string FormatEngineMessage(int code, int style, std::string_view name, int number,
                                double real);

// Shows the message in a warning box with the default caption and an OK button and
// returns the answer, or 0 (nothing shown) for a code outside 15..38.
int ShowEngineMessage(int code, int style, std::string_view name = {}, int number = 0,
                      double real = 0);

// Sets the run's number layout from a unit code; an unknown code keeps the layout.
void SetUnitDigits(EngineRun& run, int32_t unit_code);

}  // namespace kavrinth
