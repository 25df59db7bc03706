// The filter tables and the builders of filter strings.
#include "support/qt/file_filters.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "support/run_program.h"

namespace kavrinth {
namespace {

struct FilterRow {
  std::string_view description;
  std::string_view pattern;
};

constexpr std::string_view kAllFiles = "All Files (*.*)|*.*||";
constexpr int kKeepsBarForm = 3;  // the platform kind whose dialogs convert the '|' form

// The viewer's rows 0-24; the lone "All Files" row follows them.
constexpr std::array<FilterRow, 25> kViewerRows = {{
    {"MAP Files (*.map)", "*.map"},
    {"SHX Files (*.shx)", "*.shx"},
    {"GDS Files (*.gds)", "*.gds"},
    {"CFG Files (*.cfg)", "*.cfg"},
    {"DXF Files (*.dxf)", "*.dxf"},
    {"CIF Files (*.cif)", "*.cif"},
    {"LOG Files (*.log)", "*.log"},
    {"PAT Files (*.pat)", "*.pat"},
    {"PLT Files (*.plt)", "*.plt"},
    {"MI Files (*.mi)", "*.mi"},
    {"IGES Files (*.igs)", "*.igs"},
    {"WF2  Files (*.wf2)", "*.wf2"},
    {"JOB Files (*.job)", "*.job"},
    {"EM Files (*.EM)", "*.em"},
    {"EXE Files (*.exe)", "*.exe"},
    {"GBR Files (*.gbr)", "*.gbr"},
    {"APT Files (*.apt)", "*.apt"},
    {"EM/Mann Files (*.em;*.ems;*.dwm;*.dws;*.sor)", "*.em;*.ems;*.dwm;*.dws;*.sor"},
    {"EM/Mann Files (*.ems;*.dws;*.sor)", "*.ems;*.dws;*.sor"},
    {"EM/Mann Files (*.em;*.dwm;*.sor)", "*.em;*.dwm;*.sor"},
    {"GDX Files (*.vu;*.gdx;*.gds)", "*.vu;*.gdx;*.gds"},
    {"GDY Files (*.gdy)", "*.gdy"},
    {"Text Files (*.txt)", "*.txt"},
    {"GDS Files (*.gds;*.sf;*.gdsii;*.strun;*.db;*.cal;*.gds2;*.str)",
     "*.gds;*.sf;*.gdsii;*.strun;*.db;*.cal;*.gds2;*.str"},
    {"Micronic Files (*.la;*.mic)", "*.la;*.mic"},
}};

constexpr FilterRow kEgsRow = {"EGS Files (*_a;*.egs)", "*_a;*.egs"};

// The EM/Mann-to-GDSII shell keeps rows 0-16, then one EM/Mann row and the GDX, GDY, Text
// and long GDS rows of the viewer's table.
constexpr std::array<size_t, 5> kEmShellTail = {19, 20, 21, 22, 23};

std::vector<FilterRow> TableRows(FilterTable table) {
  std::vector<FilterRow> rows(kViewerRows.begin(), kViewerRows.end());
  switch (table) {
    case FilterTable::kViewer:
      break;
    case FilterTable::kGdsToPgShell:
      rows.push_back(kEgsRow);
      break;
    case FilterTable::kEmToGdsShell:
      rows.resize(17);
      for (size_t index : kEmShellTail) rows.push_back(kViewerRows[index]);
      break;
  }
  return rows;
}

std::string PairText(std::string_view description, std::string_view pattern) {
  return std::string(description) + "|" + std::string(pattern) + "|";
}

// Splits either form into its fields; the list ends at the first empty description.
std::vector<std::pair<std::string_view, std::string_view>> FilterPairs(std::string_view filter) {
  const bool bar_form = filter.find('|') != std::string_view::npos;
  const char separator = bar_form ? '|' : '\0';
  std::vector<std::pair<std::string_view, std::string_view>> pairs;
  while (!filter.empty()) {
    const size_t end_description = filter.find(separator);
    if (end_description == 0 || end_description == std::string_view::npos) break;
    std::string_view description = filter.substr(0, end_description);
    filter.remove_prefix(end_description + 1);
    const size_t end_pattern = std::min(filter.find(separator), filter.size());
    pairs.emplace_back(description, filter.substr(0, end_pattern));
    filter.remove_prefix(std::min(end_pattern + 1, filter.size()));
  }
  return pairs;
}

// The description without its own trailing " (...)" list of patterns.
std::string_view DescriptionStem(std::string_view description) {
  const size_t open = description.rfind(" (");
  if (open == std::string_view::npos || description.back() != ')') return description;
  return description.substr(0, open);
}

QString QtPatterns(std::string_view patterns) {
  QStringList list;
  for (const QString& pattern :
       QString::fromUtf8(patterns.data(), static_cast<qsizetype>(patterns.size()))
           .split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    const QString trimmed = pattern.trimmed();
    list << (trimmed == QLatin1String("*.*") ? QStringLiteral("*") : trimmed);
  }
  return list.join(QLatin1Char(' '));
}

}  // namespace

std::vector<std::string> FilterRows(FilterTable table) {
  std::vector<std::string> rows;
  for (const FilterRow& row : TableRows(table)) {
    rows.push_back(PairText(row.description, row.pattern) + std::string(kAllFiles));
  }
  rows.emplace_back(kAllFiles);
  return rows;
}

std::vector<std::string> BuildFileFilters(FilterTable table) {
  std::vector<std::string> rows = FilterRows(table);
  for (std::string& row : rows) row = FilterToNulForm(std::move(row));
  return rows;
}

std::string AddFileFilter(std::span<const std::string_view> descriptions,
                          std::span<const std::string_view> patterns) {
  std::string filter;
  for (size_t i = 0; i < descriptions.size() && i < patterns.size(); ++i) {
    filter += PairText(descriptions[i], patterns[i]);
  }
  return FilterToNulForm(filter + std::string(kAllFiles));
}

std::string MakeFileFilter(std::string_view extension) {
  if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
  std::string upper(extension);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  const std::string pattern = "*." + std::string(extension);
  return FilterToNulForm(PairText(upper + " Files (" + pattern + ")", pattern) +
                         std::string(kAllFiles));
}

std::string FilterToNulForm(std::string filter) {
  if (GetOsVersionClass() != kKeepsBarForm) std::replace(filter.begin(), filter.end(), '|', '\0');
  return filter;
}

QStringList QtNameFilters(std::string_view filter) {
  QStringList filters;
  for (const auto& [description, patterns] : FilterPairs(filter)) {
    const std::string_view stem = DescriptionStem(description);
    filters << QString::fromUtf8(stem.data(), static_cast<qsizetype>(stem.size())) +
                   QStringLiteral(" (") + QtPatterns(patterns) + QLatin1Char(')');
  }
  return filters;
}

}  // namespace kavrinth
