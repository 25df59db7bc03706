// The file-type filters the programs offer in their file dialogs: the three tables, the
// filter builders, and their conversion into Qt's name-filter form.
#pragma once

#include <QStringList>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

// A filter string is description and pattern separated by '|', pair after pair, ended by
// "||" (patterns within a pair separated by ';'). The dialogs take its raw form, every '|'
// a NUL, except on platform kind 3 (run_program.h), where the '|' form is kept.

// Whose table: the viewer's (26 rows), the GDSII-to-PG shell's (27, with "EGS Files") or
// the EM/Mann-to-GDSII shell's (23).
enum class FilterTable { kViewer, kGdsToPgShell, kEmToGdsShell };

// The rows of a table in the '|' form: each row's pair, then "All Files (*.*)|*.*||"; the
// last row is that pair alone.
std::vector<std::string> FilterRows(FilterTable table);
// The rows in the form the dialogs take (FilterToNulForm of each).
std::vector<std::string> BuildFileFilters(FilterTable table);

// "%s|%s|" for each pair while both lists have an entry, then "All Files (*.*)|*.*||";
// in the dialogs' form.
std::string AddFileFilter(std::span<const std::string_view> descriptions,
                          std::span<const std::string_view> patterns);
// "EXT Files (*.ext)|*.ext|All Files (*.*)|*.*||" for the extension (a leading '.' is
// ignored; the description upper-cased, the patterns as given); in the dialogs' form.
std::string MakeFileFilter(std::string_view extension);
// The raw form: every '|' becomes a NUL; unchanged on platform kind 3.
std::string FilterToNulForm(std::string filter);

// Qt's form of a filter string in either form: one "Description (p1 p2)" entry per pair,
// the patterns taken from the pattern field (the description's own parenthesised list is
// replaced by them), with "*.*" written as "*" so that it matches names without a point
// too. Qt's file dialog matches them without regard to case.
QStringList QtNameFilters(std::string_view filter);

}  // namespace kavrinth
