// The PG job report, the WF2 job report and the WF2 merge report, each copied from its
// template with its directives replaced by checked, formatted values.
#include "viewer/model/reports.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "pg2gds/pg_readers.h"
#include "platform/files.h"
#include "platform/process.h"
#include "support/buf_file.h"
#include "support/line_file.h"
#include "support/paths.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/viewer_services.h"
#include "viewer/model/wf2_format.h"

namespace kavrinth {
namespace {

constexpr int kPgRowCount = 12;
constexpr int kWf2SlotCount = 19;
constexpr int kMergeSlotCount = 8;
constexpr size_t kShortPathLength = 59;
constexpr size_t kShortNameLength = 17;

bool merging = false;

std::string StripLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::string Format(std::string_view format, std::span<const ReportArg> args) {
  return FormatReportLine(format, args).value_or(std::string(format));
}

// A value rounded to two decimals, as the reports print them.
double Hundredths(double value) { return std::round(value * 100.0) / 100.0; }

int64_t FileSizeOf(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(ResolveExistingPath(path), error);
  return error ? 0 : static_cast<int64_t>(size);
}

std::string LocalDate(std::string_view format) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return Format(format, ReportDateValues(local));
}

// The file a report is written to: a fresh temporary beside the report that replaces it
// once complete, so that a failed write leaves an older report as it was. A report path
// that exists and is no regular file (a device such as /dev/null) is written in place, as
// a temporary renamed over it would replace the device itself. Empty when no temporary
// can be made.
std::string CreateReportTemporary(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  struct stat status {};
  const bool exists = ::stat(path.c_str(), &status) == 0;
  if (exists && !S_ISREG(status.st_mode)) return path;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temporary =
        path + ".~" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return {};
    if (exists) ::fchmod(fd, status.st_mode & 07777);
    ::close(fd);
    return temporary;
  }
  return {};
}

// One report being copied from its template.
class ReportFile {
 public:
  // 0, or 1 when the template is missing or either file cannot be opened.
  int Open(std::string_view template_name, const std::string& report_path) {
    const std::string template_path = ReportTemplatePath(template_name);
    // The template pair would make a missing template; a report needs the real one.
    if (!FileExists(template_path)) return 1;
    path_ = NativePath(report_path);
    // Writing the report over its template would destroy the template.
    if (SameExistingFile(template_path, path_)) return 1;
    written_ = CreateReportTemporary(path_);
    if (written_.empty()) return 1;
    if (TextPairOpen(template_path, written_) != 0) {
      TextPairClose();
      if (written_ != path_) std::remove(written_.c_str());
      return 1;
    }
    return 0;
  }

  // The next directive's number with its text, -1 at the end, -2 after a failure.
  int Next(std::string* text) {
    std::string raw;
    const int number = TextPairNextToken(&raw, kReportLineSize);
    if (number == -2) ok_ = false;
    *text = StripLineEnd(raw);
    return number;
  }

  void Line(std::string_view text) {
    if (ok_ && TextPairPutLine(std::string(text) + "\r\n") != 0) ok_ = false;
  }

  void Formatted(std::string_view format, std::span<const ReportArg> args) {
    Line(Format(format, args));
  }

  bool ok() const { return ok_; }

  // Closes both files and puts the report in place: 0, or 1 when anything failed (the
  // temporary is then removed and a report there before stays as it was).
  int Finish() {
    bool ok = TextPairClose() == 0 && ok_;
    if (written_ == path_) return ok ? 0 : 1;
    ok = ok && std::rename(written_.c_str(), path_.c_str()) == 0;
    if (!ok) std::remove(written_.c_str());
    return ok ? 0 : 1;
  }

 private:
  std::string path_;
  std::string written_;  // the temporary, or the report itself when it is a device
  bool ok_ = true;
};

// ---- PG report ----

void AddReal(std::vector<ReportArg>* args, int64_t value) {
  const UnitDigits& digits = CurrentUnitDigits();
  args->emplace_back(int64_t{digits.digits + digits.decimals + 2});
  args->emplace_back(int64_t{digits.decimals});
  args->emplace_back(static_cast<double>(value) / digits.units_per_user_unit);
}

std::vector<ReportArg> RealPair(int64_t a, int64_t b) {
  std::vector<ReportArg> args;
  AddReal(&args, a);
  AddReal(&args, b);
  return args;
}

// The values of a PG report row; nothing for the rows printed as they stand.
std::optional<std::vector<ReportArg>> PgRowValues(const ViewLayerEntry& e, int row) {
  switch (row) {
    case 0:
      if (e.path.size() < kShortPathLength) return std::vector<ReportArg>{"", int64_t{58}, e.path};
      return std::vector<ReportArg>{"...", int64_t{55}, e.path.substr(e.path.size() - 55)};
    case 1:
      return std::vector<ReportArg>{int64_t{e.first_count}};
    case 2:
      return std::vector<ReportArg>{int64_t{e.second_count}};
    case 3:
      return RealPair((int64_t{e.min_x} + e.max_x) / 2, (int64_t{e.min_y} + e.max_y) / 2);
    case 4:
      return RealPair(e.min_x, e.min_y);
    case 5:
      return RealPair(e.max_x, e.max_y);
    case 8:
      return RealPair(e.smallest_width, e.largest_width);
    case 9:
      return RealPair(e.smallest_height, e.largest_height);
    case 10:
      return RealPair(e.smallest_round, e.largest_round);
    default:
      return std::nullopt;
  }
}

void WritePgRows(ReportFile* report,
                 const std::array<std::optional<std::string>, kPgRowCount>& rows) {
  for (int n = 0; n < kViewLayerCount && report->ok(); ++n) {
    const ViewLayerEntry& entry = LayerTable()[n];
    if (entry.path.empty()) continue;
    for (int row = 0; row < kPgRowCount; ++row) {
      if (!rows[row]) continue;
      const std::optional<std::vector<ReportArg>> values = PgRowValues(entry, row);
      if (values) {
        report->Formatted(*rows[row], *values);
      } else {
        report->Line(*rows[row]);
      }
    }
  }
}

// ---- WF2 reports ----

using Wf2HeaderBytes = std::array<uint8_t, 128>;

Wf2HeaderBytes ReadWf2Header(const std::string& path) {
  Wf2HeaderBytes header{};
  if (std::unique_ptr<BufFile> file = BufFileOpen(path.c_str(), "rb")) {
    BufFileRead(file.get(), header.data(), header.size());
    BufFileClose(std::move(file));
  }
  return header;
}

std::string ModeName(int32_t word) { return word != 0 ? "Serpentine" : "Unidirectional"; }

// The header's name field: up to its first zero byte, control characters as blanks.
std::string HeaderText(const Wf2HeaderBytes& header, int offset, int length) {
  std::string text;
  for (int i = offset; i < offset + length && header[i] != 0; ++i) {
    text.push_back(header[i] < 0x20 || header[i] == 0x7F ? ' ' : static_cast<char>(header[i]));
  }
  return text;
}

enum class SlotKind { kText, kPath, kScale, kMode, kName, kWord };
struct Wf2Slot {
  SlotKind kind;
  int offset;
};

constexpr std::array<Wf2Slot, kWf2SlotCount> kWf2Slots = {{
    {SlotKind::kText, 0},   {SlotKind::kPath, 0},   {SlotKind::kText, 0},   {SlotKind::kWord, 0},
    {SlotKind::kWord, 4},   {SlotKind::kScale, 8},  {SlotKind::kWord, 12},  {SlotKind::kWord, 16},
    {SlotKind::kWord, 20},  {SlotKind::kWord, 24},  {SlotKind::kMode, 28},  {SlotKind::kName, 32},
    {SlotKind::kWord, 96},  {SlotKind::kWord, 100}, {SlotKind::kWord, 104}, {SlotKind::kWord, 108},
    {SlotKind::kWord, 112}, {SlotKind::kWord, 116}, {SlotKind::kWord, 120},
}};

// The value of a header slot. A field the viewer names (the header's label table) takes
// its name with a colon before the value when the row format takes two values, so that a
// template can print the names as the viewer shows them.
void FormattedHeaderValue(ReportFile* report, const std::string& format, int offset,
                          ReportArg value) {
  const char* label = Wf2HeaderLabelAt(offset);
  if (label != nullptr && CountReportValues(format) == 2) {
    report->Formatted(format, std::vector<ReportArg>{std::string(label) + ":", std::move(value)});
  } else {
    report->Formatted(format, std::vector<ReportArg>{std::move(value)});
  }
}

void WriteWf2Slot(ReportFile* report, const std::string& format, const Wf2Slot& slot,
                  const std::string& path, const Wf2HeaderBytes& header) {
  const int32_t word = Wf2HeaderWord(header, slot.offset);
  switch (slot.kind) {
    case SlotKind::kText:
      report->Line(format);
      return;
    case SlotKind::kPath:
      report->Formatted(format, std::vector<ReportArg>{path});
      return;
    case SlotKind::kScale:
      FormattedHeaderValue(report, format, slot.offset,
                           Hundredths(std::bit_cast<float>(static_cast<uint32_t>(word))));
      return;
    case SlotKind::kMode:
      FormattedHeaderValue(report, format, slot.offset,
                           std::to_string(word) + " = " + ModeName(word) + " Mode");
      return;
    case SlotKind::kName:
      report->Formatted(format, std::vector<ReportArg>{HeaderText(header, slot.offset, 64)});
      return;
    case SlotKind::kWord:
      FormattedHeaderValue(report, format, slot.offset, int64_t{word});
      return;
  }
}

void WriteWf2Block(ReportFile* report,
                   const std::array<std::optional<std::string>, kWf2SlotCount>& slots) {
  for (int n = 0; n < kViewLayerCount && report->ok(); ++n) {
    const ViewLayerEntry& entry = LayerTable()[n];
    if (entry.path.empty()) continue;
    const Wf2HeaderBytes header = ReadWf2Header(entry.path);
    for (int i = 0; i < kWf2SlotCount; ++i) {
      if (slots[i]) WriteWf2Slot(report, *slots[i], kWf2Slots[i], entry.path, header);
    }
  }
}

void WriteWf2EntryLines(ReportFile* report, const std::string& format) {
  for (int n = 0; n < kViewLayerCount && report->ok(); ++n) {
    const ViewLayerEntry& e = LayerTable()[n];
    if (e.path.empty()) continue;
    std::string name;
    SplitPath(NativePath(e.path), nullptr, &name);
    const bool long_name = name.size() >= kShortNameLength;
    const std::vector<ReportArg> values = {std::string(long_name ? "..." : ""),
                                           long_name ? name.substr(name.size() - 16) : name,
                                           std::string(e.shown ? "ON" : "OFF"),
                                           e.x_offset / 100.0,
                                           e.y_offset / 100.0,
                                           int64_t{e.first_count},
                                           static_cast<double>(e.file_size) / 1000.0};
    report->Formatted(format, values);
  }
}

std::vector<ReportArg> Wf2Values(int directive) {
  const Wf2HeaderBytes& h = JobState().wf2_header;
  auto word = [&h](int offset) { return int64_t{Wf2HeaderWord(h, offset)}; };
  switch (directive) {
    case 3:
      return {Hundredths(CurrentViewerServices().DisplayUnits().user_units_per_database_unit)};
    case 4:
      return {word(12), word(16)};
    case 5:
      return {word(100)};
    case 6:
      return {word(96)};
    case 7:
      return {2 * word(104), 2 * word(108)};
    case 8:
      return {Hundredths(word(20) / 25.4), Hundredths(word(24) / 25.4)};
    case 9:
      return {ModeName(Wf2HeaderWord(h, 28))};
    default:
      return {};
  }
}

// ---- Merge report ----

void WriteMergeOutput(ReportFile* report,
                      const std::array<std::optional<std::string>, kMergeSlotCount>& slots,
                      const std::string& output, const std::vector<std::string>& inputs) {
  const std::array<std::optional<std::vector<ReportArg>>, 6> values = {
      std::nullopt,
      std::vector<ReportArg>{output},
      std::vector<ReportArg>{FileSizeOf(output)},
      std::vector<ReportArg>{static_cast<int64_t>(inputs.size())},
      std::nullopt,
      std::nullopt};
  for (int i = 0; i < 6; ++i) {
    if (!slots[i]) continue;
    if (values[i]) {
      report->Formatted(*slots[i], *values[i]);
    } else {
      report->Line(*slots[i]);
    }
  }
  for (size_t j = 0; j < inputs.size() && report->ok(); ++j) {
    if (slots[6]) {
      report->Formatted(*slots[6], std::vector<ReportArg>{std::to_string(j + 1) + ")", inputs[j]});
    }
    if (slots[7]) report->Formatted(*slots[7], std::vector<ReportArg>{FileSizeOf(inputs[j])});
  }
}

}  // namespace

std::string ReportTemplatePath(std::string_view name) { return MakePath(ProgramDirectory(), name); }

std::vector<ReportArg> ReportDateValues(const std::tm& time) {
  const int hour = time.tm_hour % 12 == 0 ? 12 : time.tm_hour % 12;
  return {int64_t{time.tm_mon + 1},
          int64_t{time.tm_mday},
          int64_t{time.tm_year + 1900},
          int64_t{hour},
          int64_t{time.tm_min},
          int64_t{time.tm_sec},
          std::string(time.tm_hour < 12 ? "am" : "pm")};
}

int FormatReportValue(int directive, std::string_view format, std::string* result) {
  const ViewerImportSettings& settings = ImportSettings();
  switch (directive) {
    case 1:
      *result = LocalDate(format);
      return 0;
    case 2:
      *result = Format(format, std::vector<ReportArg>{JobState().job_path});
      return 0;
    case 3:
      *result =
          Format(format, std::vector<ReportArg>{std::string(PgFormatName(settings.pg_format))});
      return 0;
    case 4:
      *result =
          Format(format, std::vector<ReportArg>{std::string(UnitCodeName(settings.unit_code))});
      return 0;
    case 5:
      *result = Format(format, std::vector<ReportArg>{JobState().code_set_name});
      return 0;
    default:
      return 1;
  }
}

int FormatWf2ReportValue(int directive, std::string_view format, std::string* result) {
  if (directive == 1) {
    *result = LocalDate(format);
    return 0;
  }
  if (merging || directive < 2 || directive > 9) return 1;
  *result = directive == 2 ? Format(format, std::vector<ReportArg>{JobState().job_path})
                           : Format(format, Wf2Values(directive));
  return 0;
}

int WriteReport(const std::string& report_path) {
  ReportFile report;
  if (report.Open(kPgReportTemplate, report_path) != 0) return 1;
  std::array<std::optional<std::string>, kPgRowCount> rows;
  std::string text;
  for (int number = report.Next(&text); number >= 0 && report.ok(); number = report.Next(&text)) {
    std::string line;
    if (FormatReportValue(number, text, &line) == 0) {
      report.Line(line);
    } else if (number == 0) {
      report.Line(text);
    } else if (number >= 6 && number < 6 + kPgRowCount) {
      rows[number - 6] = text;
    } else if (number == 20) {
      WritePgRows(&report, rows);
    }
  }
  return report.Finish();
}

int WriteJobReport(const std::string& report_path) {
  ReportFile report;
  if (report.Open(kWf2ReportTemplate, report_path) != 0) return 1;
  std::array<std::optional<std::string>, kWf2SlotCount> slots;
  std::string text;
  for (int number = report.Next(&text); number >= 0 && report.ok(); number = report.Next(&text)) {
    std::string line;
    if (FormatWf2ReportValue(number, text, &line) == 0) {
      report.Line(line);
    } else if (number == 0) {
      report.Line(text);
    } else if (number == 10) {
      WriteWf2EntryLines(&report, text);
    } else if (number >= 11 && number < 11 + kWf2SlotCount) {
      slots[number - 11] = text;
      if (number == 11 + kWf2SlotCount - 1) WriteWf2Block(&report, slots);
    }
  }
  return report.Finish();
}

int WriteMergeReport(const std::string& report_path, std::span<const int> output_entries,
                     const std::vector<std::vector<std::string>>& input_paths) {
  ReportFile report;
  if (report.Open(kMergeReportTemplate, report_path) != 0) return 1;
  merging = true;
  std::array<std::optional<std::string>, kMergeSlotCount> slots;
  std::string text;
  for (int number = report.Next(&text); number >= 0 && report.ok(); number = report.Next(&text)) {
    std::string line;
    if (FormatWf2ReportValue(number, text, &line) == 0) {
      report.Line(line);
    } else if (number == 2) {
      report.Formatted(text, std::vector<ReportArg>{static_cast<int64_t>(output_entries.size())});
    } else if (number >= 3 && number < 3 + kMergeSlotCount) {
      slots[number - 3] = text;
      if (number != 3 + kMergeSlotCount - 1) continue;
      for (size_t k = 0; k < output_entries.size() && report.ok(); ++k) {
        const int entry = output_entries[k];
        const std::string output =
            entry >= 0 && entry < kViewLayerCount ? LayerTable()[entry].path : std::string();
        WriteMergeOutput(&report, slots, output,
                         k < input_paths.size() ? input_paths[k] : std::vector<std::string>{});
      }
    }
  }
  merging = false;
  return report.Finish();
}

}  // namespace kavrinth
