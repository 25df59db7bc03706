// Small routines of the engine: the program search over PATH, environment values, the
// version text, file copying into an open stream, thousands separators and the exit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace kavrinth {

// The engine's version text, copied into the job state at the start of every job.
inline constexpr std::string_view kEngineVersionText = "6.30 (3.81) 11/11/99";

// Tries "." and then each directory of the ':'-separated list in order (the form of PATH
// here), forming directory + "/" + name: 0 with *path the first that exists, -1 when none
// does (*path is then empty).
int FindOnPathList(std::string_view name, std::string* path, std::string_view list);

// The value of an environment variable, or an empty text when it is unset.
void GetEnvInto(const char* name, std::string* text);

// Copies the engine's version text into *text.
void VersionString(std::string* text);

// Appends the whole file to the open stream in blocks of 32768 bytes, then removes the
// file when `remove` is set. 0, or 1 after the warning "Unable to stat file to be copied
// '%s'." or "Unable to open file to be copied '%s' for input." (a failed write of the
// stream gives 1 as well, and the file is then kept, for the stream's writer to report).
int CopyFileInto(const std::string& path, std::FILE* stream, bool remove);

// The value in decimal with a ',' before every further group of three digits counted
// from the right: -1234 gives "-1,234", -123 gives "-123".
std::string FormatThousands(int64_t value);

// Flushes standard output and ends the process with the code (through the result
// channel, so the full code reaches a waiting shell).
[[noreturn]] void FlushAndExit(int32_t code);

}  // namespace kavrinth
