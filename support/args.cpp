// Word splitting of command and settings lines, NUL lists, real and fixed-point
// printing, and the 8.3 short-name tests.
#include "support/args.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>

#include "support/notifier.h"
#include "support/paths.h"

namespace kavrinth {
namespace {

constexpr char kBlank = ' ';
constexpr char kDoubleQuote = '"';
constexpr char kSingleQuote = '\'';
constexpr char kPathSeparator = '/';
constexpr size_t kNone = std::string_view::npos;

// One word of a line: where its text starts and ends, and the length of the
// closing quote after it (0 or 1).
struct WordSpan {
  size_t start;
  size_t end;
  size_t quote_length;
};

// The word as stored: its own text, or, when it is the last word the array can
// take, its text followed by everything after it.
std::string WordText(std::string_view text, const WordSpan& word, bool last) {
  std::string result(text.substr(word.start, word.end - word.start));
  if (last && word.end < text.size()) result += text.substr(word.end + word.quote_length);
  return result;
}

size_t NextPosition(std::string_view text, const WordSpan& word) {
  return std::min(word.end + 1, text.size());
}

bool IsGraph(char c) { return std::isgraph(static_cast<unsigned char>(c)) != 0; }

// A single quote closes a word only when a blank or the end follows it.
size_t FindClosingSingleQuote(std::string_view text, size_t from) {
  for (size_t i = from; i < text.size(); ++i) {
    if (text[i] == kSingleQuote && (i + 1 == text.size() || text[i + 1] == kBlank)) return i;
  }
  return kNone;
}

WordSpan PlainArg(std::string_view text, size_t pos) {
  size_t end = text.find(kBlank, pos);
  return {pos, end == kNone ? text.size() : end, 0};
}

WordSpan ArgAt(std::string_view text, size_t pos) {
  if (text[pos] == kDoubleQuote) {
    size_t close = text.find(kDoubleQuote, pos + 1);
    if (close == kNone) return {pos + 1, text.size(), 0};
    return {pos + 1, close, 1};
  }
  if (text[pos] == kSingleQuote) {
    size_t close = FindClosingSingleQuote(text, pos + 1);
    if (close != kNone) return {pos + 1, close, 1};
  }
  return PlainArg(text, pos);
}

WordSpan GraphWordAt(std::string_view text, size_t pos) {
  size_t end = pos;
  while (end < text.size() && IsGraph(text[end])) ++end;
  return {pos, end, 0};
}

// The loop both splitters share: skip separators, take a word, and let the last
// word the array can take keep the rest of the line.
template <typename IsSeparator, typename WordAt>
std::vector<std::string> SplitLine(std::string_view text, int n, IsSeparator is_separator,
                                   WordAt word_at) {
  std::vector<std::string> words;
  size_t pos = 0;
  while (pos < text.size() && static_cast<int>(words.size()) < n - 1) {
    while (pos < text.size() && is_separator(text[pos])) ++pos;
    if (pos == text.size()) break;
    WordSpan word = word_at(text, pos);
    bool last = static_cast<int>(words.size()) == n - 2;
    words.push_back(WordText(text, word, last));
    pos = NextPosition(text, word);
  }
  return words;
}

// The entries of a NUL list, up to its empty entry or the end of the view.
std::vector<std::string_view> NulListEntries(std::string_view list) {
  std::vector<std::string_view> entries;
  size_t pos = 0;
  while (pos < list.size() && list[pos] != '\0') {
    size_t end = list.find('\0', pos);
    if (end == kNone) end = list.size();
    entries.push_back(list.substr(pos, end - pos));
    pos = end + 1;
  }
  return entries;
}

// The resolution thresholds of FormatReal: ten to the powers 0 to -15.
constexpr std::array<double, 16> kResolutionThresholds = {1e0,   1e-1,  1e-2,  1e-3, 1e-4,  1e-5,
                                                          1e-6,  1e-7,  1e-8,  1e-9, 1e-10, 1e-11,
                                                          1e-12, 1e-13, 1e-14, 1e-15};

int DecimalsFor(double resolution) {
  for (size_t i = 0; i < kResolutionThresholds.size(); ++i) {
    if (resolution >= kResolutionThresholds[i]) return static_cast<int>(i);
  }
  return static_cast<int>(kResolutionThresholds.size());
}

std::string PrintFixed(double value, int decimals) {
  int length = std::snprintf(nullptr, 0, "%.*f", decimals, value);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), "%.*f", decimals, value);
  text.resize(static_cast<size_t>(length));
  return text;
}

void StripTrailingZeros(std::string& text) {
  if (text.find('.') == std::string::npos) return;
  while (!text.empty() && text.back() == '0') text.pop_back();
  if (!text.empty() && text.back() == '.') text.pop_back();
}

bool HasNonZeroDigit(std::string_view text) { return text.find_first_of("123456789") != kNone; }

std::string CutTo(std::string text, size_t room) {
  if (text.size() > room) text.resize(room);
  return text;
}

// The magnitude's digits: rounded to a whole number for 0 decimals (printed in
// full, since the integer has no room limit), else printed and trimmed to room.
std::string MagnitudeDigits(double magnitude, int decimals, size_t room) {
  if (decimals == 0) return PrintFixed(std::trunc(magnitude + 0.5), 0);
  std::string text = PrintFixed(magnitude, decimals);
  StripTrailingZeros(text);
  return CutTo(text, room);
}

std::string FormatNonFinite(double value, size_t room) {
  if (std::isnan(value)) return CutTo("nan", room);
  return CutTo(value > 0 ? "inf" : "-inf", room);
}

// The smallest power of ten not below the scale (1 for a scale of 1).
int64_t PowerOfTenNotBelow(int64_t scale) {
  int64_t power = 1;
  while (power < scale) power *= 10;
  return power;
}

constexpr std::string_view kForbiddenShortNameChars = " *=+[];:\"<>?|@,";
constexpr int kMaxPathComponents = 260;

bool IsAllowedShortNameChar(char c) {
  if (std::isalnum(static_cast<unsigned char>(c))) return true;
  return kForbiddenShortNameChars.find(c) == kNone;
}

bool IsValidShortComponent(std::string_view name) {
  if (ShortNameLength(name) == 0) return false;
  for (char c : name) {
    if (!IsAllowedShortNameChar(c)) return false;
  }
  return true;
}

// The message keeps the system's wording, the failing name on its first line.
constexpr std::string_view kInvalidShortNameText =
    "\n\nInvalid file name.\nLong file name is not supported.\n"
    "Select files and directories that conform to 8.3 format.";

void ShowInvalidShortName(const std::string& name) {
  ShowMessage(name + std::string(kInvalidShortNameText), "", MessageIcon::kWarning);
}

// The first name of a NUL list that fails the test, or nullopt when all pass:
// the names joined to the first entry when it is a directory, else that entry.
std::optional<std::string> FirstInvalidListName(std::string_view list) {
  std::vector<std::string_view> entries = NulListEntries(list);
  std::string first = entries.empty() ? std::string() : std::string(entries.front());
  if (!DirExists(first)) {
    if (ValidateShortNameChars(first)) return std::nullopt;
    return first;
  }
  for (size_t i = 1; i < entries.size(); ++i) {
    std::string path = MakePath(first, entries[i]);
    if (!ValidateShortNameChars(path)) return path;
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> SplitWords(std::string_view text, int n) {
  return SplitLine(
      text, n, [](char c) { return !IsGraph(c); }, GraphWordAt);
}

std::vector<std::string> SplitArgs(std::string_view text, int n) {
  return SplitLine(
      text, n, [](char c) { return c == kBlank; }, ArgAt);
}

std::vector<std::string> SplitCommandLine(std::string_view text, int n) {
  if (!text.starts_with("\"\"")) return SplitArgs(text, n);
  if (n < 2) return {};
  size_t close = text.find(kDoubleQuote, 2);
  if (close == kNone) return {std::string(text.substr(2))};

  std::vector<std::string> words = {std::string(text.substr(2, close - 2))};
  std::string rest;
  if (close + 1 < text.size() && text[close + 1] == kDoubleQuote) {
    rest = text.substr(close + 2);
  } else {
    // The whole line was wrapped in one more pair of quotes: drop the outer one.
    rest = text.substr(close + 1);
    size_t outer = rest.rfind(kDoubleQuote);
    if (outer != std::string::npos) rest[outer] = kBlank;
  }
  for (std::string& word : SplitArgs(rest, n - 1)) words.push_back(std::move(word));
  return words;
}

std::vector<std::string> SplitNulList(std::string_view list, int n) {
  std::vector<std::string> words;
  for (std::string_view entry : NulListEntries(list)) {
    if (static_cast<int>(words.size()) >= n - 1) break;
    words.emplace_back(entry);
  }
  return words;
}

std::string NulListToBlanks(std::string_view list) {
  std::string line;
  for (std::string_view entry : NulListEntries(list)) {
    if (!line.empty()) line += kBlank;
    line += entry;
  }
  return line;
}

std::string NulListToQuoted(std::string_view list) {
  std::string line;
  for (std::string_view entry : NulListEntries(list)) {
    if (!line.empty()) line += kBlank;
    line += kDoubleQuote;
    line += entry;
    line += kDoubleQuote;
  }
  return line;
}

const char* FindAnyChar(const char* text, const char* set) {
  if (text == nullptr || set == nullptr) return nullptr;
  return std::strpbrk(text, set);
}

int32_t ParseDecimal(std::string_view text) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = std::min(value * 10 + (c - '0'), kMax);
  }
  return static_cast<int32_t>(value);
}

std::string FormatReal(double value, double resolution, size_t size) {
  size_t room = size > 0 ? size - 1 : 0;
  if (!std::isfinite(value)) return FormatNonFinite(value, room);
  bool negative = !(value >= 0);
  if (negative) {
    value = -value;
    room = room > 0 ? room - 1 : 0;
  }
  std::string digits = MagnitudeDigits(value, DecimalsFor(resolution), room);
  // A value that prints as zero is "0", never "-0" or "0.000".
  if (!HasNonZeroDigit(digits)) return CutTo("0", size > 0 ? size - 1 : 0);
  return negative ? "-" + digits : digits;
}

std::string FormatFixedPoint(int32_t value, int32_t scale) {
  if (scale == 0) return "";
  int64_t numerator = value;
  int64_t denominator = scale;
  bool negative = (numerator < 0) != (denominator < 0) && numerator != 0;
  numerator = std::abs(numerator);
  denominator = std::abs(denominator);

  int64_t power = PowerOfTenNotBelow(denominator);
  int64_t whole = numerator / denominator;
  // Rounded half away from zero: (2 r p + s) / 2 s. The product needs more than
  // 64 bits when the scale is near the 32-bit limit.
  using Wide = unsigned __int128;
  Wide remainder = static_cast<Wide>(numerator % denominator);
  Wide fraction = (2 * remainder * static_cast<Wide>(power) + static_cast<Wide>(denominator)) /
                  (2 * static_cast<Wide>(denominator));
  std::string fraction_text = std::to_string(static_cast<int64_t>(fraction) + power);
  fraction_text[0] = '.';
  return (negative ? "-" : "") + std::to_string(whole) + fraction_text;
}

std::string& FormatFixedPointTo(int32_t value, int32_t scale, std::string& destination) {
  destination = FormatFixedPoint(value, scale);
  return destination;
}

std::vector<std::string> SplitPathComponents(std::string_view path, int n) {
  size_t slash = path.find(kPathSeparator);
  if (slash == kNone)
    return n >= 2 ? std::vector<std::string>{std::string(path)} : std::vector<std::string>{};
  std::vector<std::string> components;
  while (slash != kNone && static_cast<int>(components.size()) < n - 2) {
    size_t next = path.find(kPathSeparator, slash + 1);
    size_t end = next == kNone ? path.size() : next;
    components.emplace_back(path.substr(slash + 1, end - slash - 1));
    slash = next;
  }
  return components;
}

int ShortNameLength(std::string_view name) {
  size_t dot = name.find('.');
  if (dot == kNone) return name.size() > 8 ? 0 : static_cast<int>(name.size());
  if (name.find('.', dot + 1) != kNone) return 0;
  size_t extension_length = name.size() - dot - 1;
  if (extension_length == 0 || extension_length > 3 || dot > 8) return 0;
  return static_cast<int>(dot);
}

int ValidateShortNameChars(std::string_view path) {
  for (const std::string& component : SplitPathComponents(path, kMaxPathComponents)) {
    if (!IsValidShortComponent(component)) return 0;
  }
  return 1;
}

int ValidateShortFileName(const char* path_or_list, size_t list_length, int show_message,
                          bool list_flag) {
  if (path_or_list == nullptr) return 0;
  std::optional<std::string> invalid;
  if (list_flag) {
    invalid = FirstInvalidListName(std::string_view(path_or_list, list_length));
  } else if (!ValidateShortNameChars(path_or_list)) {
    invalid = path_or_list;
  }
  if (!invalid) return 1;
  if (show_message == 1) ShowInvalidShortName(*invalid);
  return 0;
}

}  // namespace kavrinth
