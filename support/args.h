// Splitting command lines, settings lines and file-dialog name lists into words,
// printing reals and fixed-point values, and testing names against the 8.3 form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

// Every splitter below takes n, the size of the pointer array the programs pass:
// it returns at most n-1 words, and when that many are taken the last one keeps
// the rest of the text, separators included. n below 2 gives no words.

// Words are runs of visible characters (isgraph); everything else separates.
std::vector<std::string> SplitWords(std::string_view text, int n);

// Words separated by blanks (not tabs). A word opening with '"' runs to the next
// '"' (both removed); a word opening with '\'' runs to the next '\'' that is
// followed by a blank or the end (both removed), or is a plain word when there is
// none. Quotes inside a word are ordinary characters.
std::vector<std::string> SplitArgs(std::string_view text, int n);

// SplitArgs, except that a first word between doubled double quotes (the program
// path, possibly with the whole line wrapped in one more pair) may hold blanks.
std::vector<std::string> SplitCommandLine(std::string_view text, int n);

// The entries of a NUL list (entries ended by '\0', the list ended by an empty
// entry or by the end of the view): the directory first, then the names.
std::vector<std::string> SplitNulList(std::string_view list, int n);

// The entries of a NUL list as one line, separated by one blank.
std::string NulListToBlanks(std::string_view list);
// The entries of a NUL list as one line, each in double quotes, separated by one
// blank; an empty list gives "".
std::string NulListToQuoted(std::string_view list);

// The first character of text that occurs in set, or null (also for null text).
const char* FindAnyChar(const char* text, const char* set);

// The value of the leading run of digits 0-9 (no sign, no blanks skipped); 0 when
// the text does not start with a digit. Saturates at INT32_MAX.
int32_t ParseDecimal(std::string_view text);

// The value with just enough decimals for the resolution, trailing zeros and a
// trailing point removed, cut to size-1 characters (size-2 behind a '-'). Never
// "-0"; NaN gives "nan", infinities "inf" and "-inf".
std::string FormatReal(double value, double resolution, size_t size = 64);

// value / scale with as many decimals as the smallest power of ten not below the
// scale has zeros, the last one rounded half away from zero; scale 1 gives a
// trailing point, scale 0 gives "". A negative scale is taken by its magnitude
// with the sign moved to the result.
std::string FormatFixedPoint(int32_t value, int32_t scale);
// FormatFixedPoint stored into destination, which it returns.
std::string& FormatFixedPointTo(int32_t value, int32_t scale, std::string& destination);

// The components after each '/' of the path, at most n-2 of them; a path without
// '/' gives itself as the one component. The part before the first '/' (a first
// relative directory, or nothing for an absolute path) is not a component.
std::vector<std::string> SplitPathComponents(std::string_view path, int n);

// 8.3 test of one name: 0 when it holds more than one '.', when its extension is
// empty or longer than 3, or when its stem is longer than 8; else the stem length.
int ShortNameLength(std::string_view name);

// 1 when every component of the path passes ShortNameLength and holds none of the
// characters the short-name form forbids; else 0.
int ValidateShortNameChars(std::string_view path);

// Tests a zero-terminated path, or with list_flag a NUL list of list_length bytes
// (when its first entry is an existing directory, each following name joined to it,
// stopping at the first failure; else the first entry alone). On failure, when
// show_message is exactly 1, names the failing path in a warning box. 1 valid, 0
// invalid or null.
int ValidateShortFileName(const char* path_or_list, size_t list_length, int show_message,
                          bool list_flag);

}  // namespace kavrinth
