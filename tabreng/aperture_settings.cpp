// The aperture settings file, the aperture list and the working copy CFG.TMP.
#include "tabreng/aperture_settings.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <unordered_map>
#include <utility>

#include "platform/files.h"
#include "tabreng/command_line.h"

namespace kavrinth {

namespace {

constexpr size_t kApertureTextLength = 35;
constexpr std::string_view kBlanks = " \t";
using Words = std::vector<std::string_view>;

std::vector<std::string_view> SplitWords(std::string_view line) {
  Words words;
  size_t at = line.find_first_not_of(kBlanks);
  while (at != std::string_view::npos) {
    const size_t end = line.find_first_of(kBlanks, at);
    words.push_back(line.substr(at, end - at));
    at = end == std::string_view::npos ? end : line.find_first_not_of(kBlanks, end);
  }
  return words;
}

// The file's lines with only their printable characters kept.
std::vector<std::string> PrintableLines(std::string_view text) {
  std::vector<std::string> lines(1);
  for (char c : text) {
    if (c == '\n') {
      lines.emplace_back();
    } else if (c >= 0x20 && c < 0x7F) {
      lines.back().push_back(c);
    }
  }
  return lines;
}

// The number of a "D<n>" word.
std::optional<long long> DCode(std::string_view word) {
  if (word.size() < 2 || std::toupper(static_cast<unsigned char>(word[0])) != 'D') {
    return std::nullopt;
  }
  for (char c : word.substr(1)) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
  }
  return LeadingInteger(word.substr(1));
}

// A D-code of a keyword line, kept when 9 < n < 10000.
bool TakeCode(const Words& w, size_t at, int& code) {
  const std::optional<long long> n = w.size() > at ? DCode(w[at]) : std::nullopt;
  if (!n || *n <= 9 || *n >= 10000) return false;
  code = static_cast<int>(*n);
  return true;
}

bool TakeReal(const Words& w, size_t at, double& value, bool (*accept)(double)) {
  const std::optional<double> v = w.size() > at ? LeadingReal(w[at]) : std::nullopt;
  if (!v || !accept(*v)) return false;
  value = *v;
  return true;
}

bool OneOf(const Words& w, size_t at, std::initializer_list<std::string_view> texts) {
  if (w.size() <= at) return false;
  for (std::string_view text : texts) {
    if (EqualNoCase(w[at], text)) return true;
  }
  return false;
}

bool ApplyUnits(ApertureSettings& s, const Words& w) {
  static constexpr std::pair<std::string_view, int> kUnits[] = {{"INCH", kApertureInch},
                                                                {"MILS", kApertureMils},
                                                                {"MM", kApertureMm},
                                                                {"CM", kApertureCm},
                                                                {"UM", kApertureMicrons}};
  for (size_t i = 1; i < w.size(); ++i) {
    for (const auto& [name, units] : kUnits) {
      if (EqualNoCase(w[i], name)) {
        s.units = units;
        return true;
      }
    }
  }
  return false;
}

bool ApplyCircular(ApertureSettings& s, const Words& w) {
  const bool on = OneOf(w, 1, {"ON", "1"});
  if (!on && !OneOf(w, 1, {"OFF", "0"})) return false;
  s.circular = on;
  return true;
}

bool ApplyFormat(ApertureSettings& s, const Words& w) {
  if (w.size() < 2) return false;
  const std::string_view format = w[1];
  const size_t dot = format.find('.');
  const std::optional<long long> i = LeadingInteger(format.substr(0, dot));
  if (i && *i > 0 && *i < 9) s.integer_digits = static_cast<int>(*i);
  if (dot == std::string_view::npos) return true;
  const std::optional<long long> f = LeadingInteger(format.substr(dot + 1));
  if (f && *f > 0 && *f < 9) s.fraction_digits = static_cast<int>(*f);
  return true;
}

bool ApplyOutline(ApertureSettings& s, const Words& w) {
  if (OneOf(w, 1, {"OFF", "0"})) {
    s.outline = false;
    return true;
  }
  if (!OneOf(w, 1, {"ON", "1"}) || w.size() < 4 || !DCode(w[2]) || !DCode(w[3])) return false;
  s.outline = true;
  TakeCode(w, 2, s.outline_a);
  TakeCode(w, 3, s.outline_b);
  return true;
}

bool ApplySuppress(ApertureSettings& s, const Words& w) {
  if (OneOf(w, 1, {"CR"})) s.suppress_cr = true;
  if (OneOf(w, 1, {"LEADING"})) s.suppress_leading = true;
  return true;
}

// TEXT and FTEXT: a D-code, or a real v giving the factor 1 / v.
bool ApplyTextStyle(const Words& w, int& code, double& factor) {
  if (w.size() > 1 && DCode(w[1])) return TakeCode(w, 1, code);
  double v = 0;
  if (!TakeReal(w, 1, v, [](double x) { return x > 1e-7 && x < 1100000; })) return false;
  factor = 1.0 / v;
  return true;
}

bool ApplyOffset(ApertureSettings& s, const Words& w) {
  double x = 0, y = 0;
  const auto small = [](double v) { return std::fabs(v) < 1e12; };
  if (!TakeReal(w, 1, x, small) || !TakeReal(w, 2, y, small)) return false;
  s.offset_x = x;
  s.offset_y = y;
  return true;
}

struct ApertureKeyword {
  std::string_view name;
  bool first_wins;  // else every line applies, so the last valid one wins
  bool (*apply)(ApertureSettings&, const Words&);
};

const ApertureKeyword kApertureKeywords[] = {
    {"APTUNITS", true, ApplyUnits},
    {"CIRCULAR", true, ApplyCircular},
    {"FONT", false,
     [](ApertureSettings& s, const Words& w) {
       if (w.size() > 1) s.font_name = w[1];
       return w.size() > 1;
     }},
    {"FONTDIR", false,
     [](ApertureSettings& s, const Words& w) {
       if (w.size() < 2) return false;
       s.font_directory = w[1];
       if (!s.font_directory.ends_with('/') && !s.font_directory.ends_with('\\')) {
         s.font_directory += '/';
       }
       return true;
     }},
    {"LINE", false,
     [](ApertureSettings& s, const Words& w) { return TakeCode(w, 1, s.line_code); }},
    {"FORMAT", false, ApplyFormat},
    {"START_APT", false,
     [](ApertureSettings& s, const Words& w) { return TakeCode(w, 1, s.first_code); }},
    {"OUTLINE", true, ApplyOutline},
    {"SUPPRESS", false, ApplySuppress},
    {"ETCH", false,
     [](ApertureSettings& s, const Words& w) {
       return TakeReal(w, 1, s.etch,
                       [](double v) { return std::fabs(v) > 1e-6 && std::fabs(v) < 1e6; });
     }},
    {"ARCRES", false,
     [](ApertureSettings& s, const Words& w) {
       return TakeReal(w, 1, s.arc_resolution, [](double v) { return v > 0 && v < 90; });
     }},
    {"TEXT", false,
     [](ApertureSettings& s, const Words& w) {
       return ApplyTextStyle(w, s.text_code, s.text_factor);
     }},
    {"FTEXT", false,
     [](ApertureSettings& s, const Words& w) {
       return ApplyTextStyle(w, s.ftext_code, s.ftext_factor);
     }},
    {"MSCALE", false,
     [](ApertureSettings& s, const Words& w) {
       return TakeReal(w, 1, s.scale, [](double v) { return v > 0 && v < 1e6; });
     }},
    {"OFFSET0", false, ApplyOffset},
};

// An aperture line: D<code> <text> F|D <shape> <size 1> [<size 2>].
void ApplyApertureLine(ApertureSettings& s, const Words& w) {
  const std::optional<long long> code = DCode(w[0]);
  if (!code || *code < kFirstApertureCode || *code > kLastApertureCode || w.size() < 3) return;
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(w[2][0])));
  if (w[2].size() != 1 || (letter != 'F' && letter != 'D')) return;
  ApertureNode& node =
      s.AddAperture(static_cast<int>(*code), w[1], letter == 'F' ? kApertureFlash : kApertureDraw);
  for (size_t shape = 0; w.size() > 3 && shape < kApertureShapeNames.size(); ++shape) {
    if (EqualNoCase(w[3], kApertureShapeNames[shape])) node.shape = static_cast<int>(shape);
  }
  if (w.size() > 4) node.size1 = LeadingReal(w[4]).value_or(node.size1);
  if (w.size() > 5) node.size2 = LeadingReal(w[5]).value_or(node.size2);
}

// A real as the format gives it, whatever its length: "%f" prints every digit of a size,
// and a huge size cut to a fixed buffer would be written as another number.
std::string Format(const char* format, double value) {
  const int length = std::snprintf(nullptr, 0, format, value);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, value);
  text.resize(static_cast<size_t>(length));
  return text;
}

std::string Format(const char* format, int a, int b, int c) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(ResolveExistingPath(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return std::nullopt;
  return text;
}

// Writes the text to the file, created anew; false when any of it failed.
bool WriteWholeFile(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(NativePath(path).c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

bool ApertureNode::IsSimple() const {
  return shape == kApertureRound || shape == kApertureSquare ||
         (shape == kApertureDonut && size2 == 0);
}

ApertureNode& ApertureSettings::AddAperture(int code, std::string_view text, int kind) {
  ApertureNode* node = nullptr;
  for (ApertureNode& a : apertures) {
    if (a.code == code) node = &a;
  }
  if (node == nullptr) {
    node = &apertures.emplace_back();
    node->code = code;
  }
  node->text = text.substr(0, kApertureTextLength);
  node->kind = kind;
  if (kind == kApertureDraw) node->size1 = node->size2 = LeadingReal(text).value_or(0);
  return *node;
}

double ApertureSettings::ApertureSizeByCode(int code) const {
  for (const ApertureNode& a : apertures) {
    if (a.code == code && a.IsSimple()) return a.size1;
  }
  return 0;
}

namespace {

const ApertureNode* Nearest(const std::vector<ApertureNode>& apertures, double size) {
  const ApertureNode* best = nullptr;
  double best_difference = 0;
  for (const ApertureNode& a : apertures) {
    if (!a.IsSimple()) continue;
    const double difference = std::fabs(a.size1 - size);
    if (best == nullptr || difference < best_difference) {
      best = &a;
      best_difference = difference;
    }
    if (difference < 0.0001) break;
  }
  return best;
}

}  // namespace

double ApertureSettings::NearestApertureSize(double size) const {
  const ApertureNode* a = Nearest(apertures, size);
  return a != nullptr ? a->size1 : 0;
}

int ApertureSettings::NearestApertureCode(double size) const {
  const ApertureNode* a = Nearest(apertures, size);
  return a != nullptr ? a->code : kFirstApertureCode;
}

int ApertureSettings::ApertureCodeByName(std::string_view text) const {
  for (const ApertureNode& a : apertures) {
    if (a.kind == kApertureFlash && a.text == text) return a.code;
  }
  return 0;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

void ParseApertureFile(std::string_view text, ApertureSettings& settings) {
  std::vector<Words> lines;
  const std::vector<std::string> printable = PrintableLines(text);
  for (const std::string& line : printable) lines.push_back(SplitWords(line));
  // Each keyword is looked for from the start of the file.
  for (const ApertureKeyword& keyword : kApertureKeywords) {
    for (const Words& words : lines) {
      if (words.empty() || !EqualNoCase(words[0], keyword.name)) continue;
      if (keyword.apply(settings, words) && keyword.first_wins) break;
    }
  }
  settings.apertures.clear();
  for (const Words& words : lines) {
    if (!words.empty() && DCode(words[0])) ApplyApertureLine(settings, words);
  }
}

std::string CfgTmpText(const ApertureSettings& s) {
  const std::string crlf = "\r\n";
  std::string text;
  text += std::to_string(s.units) + crlf;
  text += Format("%d %d %d", s.integer_digits, s.fraction_digits, 1) + crlf;
  text += std::to_string(s.suppress_cr ? 1 : 0) + crlf;
  text += std::to_string(s.suppress_leading ? 1 : 0) + crlf;
  text += std::to_string(s.circular ? 1 : 0) + crlf;
  text += Format("%f", s.arc_resolution) + crlf;
  text += std::to_string(s.line_code) + crlf;
  text += Format("%d %d %d", s.outline ? 1 : 0, s.outline_a, s.outline_b) + crlf;
  text += Format("%f", s.scale) + crlf;
  text += std::to_string(s.first_code) + crlf;
  text += "GBR_file.int" + crlf;
  text += "GBR_file.gbr" + crlf;
  std::unordered_map<int, double> sizes;
  for (const ApertureNode& a : s.apertures) {
    if (a.IsSimple() && !sizes.contains(a.code)) sizes[a.code] = a.size1;
  }
  for (int code = kFirstApertureCode; code <= kLastApertureCode; ++code) {
    const auto found = sizes.find(code);
    text += Format("%f", found == sizes.end() ? 0.0 : found->second) + crlf;
  }
  return text;
}

int ReadAptCfg(const std::string& aperture_file, const std::string& cfg_tmp_path,
               ApertureSettings& settings) {
  settings = ApertureSettings();
  // The aperture file is read before CFG.TMP is created, so that it is read whole even
  // when it is CFG.TMP itself.
  const std::optional<std::string> text =
      aperture_file.empty() ? std::nullopt : ReadWholeFile(aperture_file);
  if (!WriteWholeFile(cfg_tmp_path, "")) return kCfgTmpNotCreated;
  if (!text) return kApertureFileUnreadable;
  ParseApertureFile(*text, settings);
  return WriteWholeFile(cfg_tmp_path, CfgTmpText(settings)) ? 0 : kCfgTmpNotCreated;
}

int RewriteCfgTmp(double feature_size, double scale_factor, const std::string& cfg_tmp_path,
                  const std::string& temp_path, ApertureSettings& settings) {
  const std::optional<std::string> text = ReadWholeFile(cfg_tmp_path);
  if (!text) return 0;
  std::vector<std::string> lines;
  for (size_t at = 0; at < text->size();) {
    size_t end = text->find('\n', at);
    if (end == std::string::npos) end = text->size();
    std::string line = text->substr(at, end - at);
    if (line.ends_with('\r')) line.pop_back();
    lines.push_back(std::move(line));
    at = end + 1;
  }
  if (lines.size() < 10) return -1;

  const int code = settings.NearestApertureCode(feature_size);
  settings.first_code = code;
  if (!settings.outline) {
    settings.outline = true;
    settings.outline_a = settings.outline_b = code;
  }
  const std::string crlf = "\r\n";
  std::string rewritten;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i == 8) {
      rewritten += Format("%lf", 1.0 / scale_factor);
    } else if (i == 9) {
      rewritten += std::to_string(code);
    } else if (i < 12) {
      rewritten += lines[i];
    } else {
      rewritten += Format("%lf", LeadingReal(lines[i]).value_or(0));
    }
    rewritten += crlf;
  }
  // The new text replaces CFG.TMP only once it is written whole.
  if (!WriteWholeFile(temp_path, rewritten)) {
    std::remove(NativePath(temp_path).c_str());
    return -2;
  }
  return std::rename(NativePath(temp_path).c_str(), NativePath(cfg_tmp_path).c_str());
}

}  // namespace kavrinth
