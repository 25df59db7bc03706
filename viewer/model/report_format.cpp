// The checked printf of report lines.
#include "viewer/model/report_format.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace kavrinth {
namespace {

constexpr std::string_view kFlags = "-+ #0";
constexpr std::string_view kLengthModifiers = "hlLqjzt";
constexpr std::string_view kIntegerConversions = "diuoxXc";
constexpr std::string_view kRealConversions = "eEfFgGaA";

struct Spec {
  std::string flags;
  std::optional<int> width;
  std::optional<int> precision;
  char conversion = 0;
};

class Formatter {
 public:
  Formatter(std::string_view format, std::span<const ReportArg> args)
      : format_(format), args_(args) {}

  std::optional<std::string> Run() {
    while (at_ < format_.size()) {
      const char c = format_[at_++];
      if (c != '%') {
        out_.push_back(c);
      } else if (!Conversion()) {
        return std::nullopt;
      }
    }
    return out_;
  }

 private:
  bool Conversion() {
    if (Peek() == '%') {
      ++at_;
      out_.push_back('%');
      return true;
    }
    Spec spec;
    while (at_ < format_.size() && kFlags.find(Peek()) != std::string_view::npos) {
      spec.flags.push_back(format_[at_++]);
    }
    if (!Field(&spec.width)) return false;
    if (Peek() == '.') {
      ++at_;
      spec.precision = 0;
      if (!Field(&spec.precision)) return false;
    }
    while (at_ < format_.size() && kLengthModifiers.find(Peek()) != std::string_view::npos) ++at_;
    if (at_ >= format_.size()) return false;
    spec.conversion = format_[at_++];
    return Print(spec);
  }

  // A width or precision: digits, or "*" taking an integer value.
  bool Field(std::optional<int>* field) {
    if (Peek() == '*') {
      ++at_;
      const int64_t* value = next_ < args_.size() ? std::get_if<int64_t>(&args_[next_]) : nullptr;
      if (value == nullptr || *value > kMaxReportFieldWidth || *value < -kMaxReportFieldWidth) {
        return false;
      }
      ++next_;
      *field = static_cast<int>(*value);
      return true;
    }
    if (Peek() < '0' || Peek() > '9') return true;
    int64_t value = 0;
    while (Peek() >= '0' && Peek() <= '9') {
      value = value * 10 + (format_[at_++] - '0');
      if (value > kMaxReportFieldWidth) return false;
    }
    *field = static_cast<int>(value);
    return true;
  }

  bool Print(const Spec& spec) {
    if (next_ >= args_.size()) return false;
    const ReportArg& arg = args_[next_++];
    std::string head = "%" + spec.flags + "*";
    int width = spec.width.value_or(0);
    int precision = spec.precision.value_or(-1);
    if (precision >= 0) head += ".*";
    const char conversion = spec.conversion;
    if (kIntegerConversions.find(conversion) != std::string_view::npos) {
      const int64_t* value = std::get_if<int64_t>(&arg);
      if (value == nullptr) return false;
      if (conversion == 'c') return Append(head + "c", width, precision, static_cast<int>(*value));
      const std::string text = head + "ll" + conversion;
      if (conversion == 'd' || conversion == 'i') {
        return Append(text, width, precision, static_cast<long long>(*value));
      }
      // A negative 32-bit value prints as its 32-bit pattern, as the reports always did.
      const int64_t bits =
          *value < 0 && *value >= INT32_MIN ? int64_t{static_cast<uint32_t>(*value)} : *value;
      return Append(text, width, precision, static_cast<unsigned long long>(bits));
    }
    if (kRealConversions.find(conversion) != std::string_view::npos) {
      double value = 0;
      if (const double* real = std::get_if<double>(&arg)) {
        value = *real;
      } else if (const int64_t* integer = std::get_if<int64_t>(&arg)) {
        value = static_cast<double>(*integer);
      } else {
        return false;
      }
      return Append(head + conversion, width, precision, value);
    }
    if (conversion == 's') {
      const std::string* text = std::get_if<std::string>(&arg);
      return text != nullptr && Append(head + "s", width, precision, text->c_str());
    }
    return false;  // %n, %p and the unknown ones
  }

  template <typename T>
  bool Append(const std::string& spec, int width, int precision, T value) {
    const int size = precision >= 0
                         ? std::snprintf(nullptr, 0, spec.c_str(), width, precision, value)
                         : std::snprintf(nullptr, 0, spec.c_str(), width, value);
    if (size < 0) return false;
    std::string text(static_cast<size_t>(size) + 1, '\0');
    if (precision >= 0) {
      std::snprintf(text.data(), text.size(), spec.c_str(), width, precision, value);
    } else {
      std::snprintf(text.data(), text.size(), spec.c_str(), width, value);
    }
    text.resize(static_cast<size_t>(size));
    out_ += text;
    return true;
  }

  char Peek() const { return at_ < format_.size() ? format_[at_] : '\0'; }

  std::string_view format_;
  std::span<const ReportArg> args_;
  size_t at_ = 0;
  size_t next_ = 0;
  std::string out_;
};

}  // namespace

std::optional<std::string> FormatReportLine(std::string_view format,
                                            std::span<const ReportArg> args) {
  return Formatter(format, args).Run();
}

int CountReportValues(std::string_view format) {
  int values = 0;
  for (size_t at = 0; at < format.size(); ++at) {
    if (format[at] != '%') continue;
    if (at + 1 < format.size() && format[at + 1] == '%') {
      ++at;
      continue;
    }
    // Flags, width, precision and length up to the conversion letter.
    for (++at; at < format.size(); ++at) {
      const char c = format[at];
      if (c == '*') {
        ++values;
      } else if (std::string_view("-+ #0123456789.hlLqjzt").find(c) == std::string_view::npos) {
        break;
      }
    }
    ++values;
  }
  return values;
}

}  // namespace kavrinth
