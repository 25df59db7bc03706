// The viewer's text reports, written from user-editable templates beside the program: the
// PG job report, the WF2 job report and the WF2 merge report.
#pragma once

#include <ctime>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/model/report_format.h"

namespace kavrinth {

inline constexpr std::string_view kPgReportTemplate = "noltrpt.t_t";
inline constexpr std::string_view kWf2ReportTemplate = "lumrarpt.t_t";
inline constexpr std::string_view kMergeReportTemplate = "lumrarpt.m_m";

// Template lines are read up to this many characters; the rest of a longer line is dropped.
inline constexpr size_t kReportLineSize = 4096;

// A template beside the program.
std::string ReportTemplatePath(std::string_view name);

// The values of directive #1 for a local time: month, day, four-digit year, hour on a
// 12-hour clock (12 at noon and midnight), minute, second, "am" or "pm".
std::vector<ReportArg> ReportDateValues(const std::tm& time);

// The common directives #1-#5 of the PG report formatted with the directive's format: 0,
// or 1 for another directive. A format that does not fit its values gives the format text.
int FormatReportValue(int directive, std::string_view format, std::string* result);
// #1-#9 of the WF2 reports (only #1 while a merge report is written): 0, or 1.
int FormatWf2ReportValue(int directive, std::string_view format, std::string* result);

// Each writes the report from its template: 0, or 1 when the template or the report cannot
// be opened, or a line cannot be written. The report is written beside its path and put in
// place only when complete, so a failure leaves an older report as it was (a device such
// as /dev/null is written directly).
int WriteReport(const std::string& report_path);
int WriteJobReport(const std::string& report_path);
// Outputs are layer-table entries; input_paths holds the inputs of each output.
int WriteMergeReport(const std::string& report_path, std::span<const int> output_entries,
                     const std::vector<std::vector<std::string>>& input_paths);

}  // namespace kavrinth
