// Names of the files a job writes into the working directory, all made from the
// input's file name, and the guard that keeps them off the input and off each other.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

// The working copy of the aperture settings, removed at the end of every job, and the
// temporary it is rewritten through.
inline constexpr std::string_view kCfgTmpName = "CFG.TMP";
inline constexpr std::string_view kTmpCfgTmpName = "TMPCFG.TMP";

struct SideFileNames {
  std::string base;               // the input's file name without its extension
  std::string header_stream;      // base.hdx, or the null device in scan mode
  std::string stdout_file;        // base.out
  std::string stderr_file;        // base.err
  std::string log_file;           // base.log
  std::string translated_name;    // base plus the translated stream's extension
  std::string translated_stream;  // translated_name, or the null device in scan mode
  std::string scan_report;        // the input's file name with ".ssn" (capitals rule)
};

// The extension of the translated stream: the one after the input's own in the list
// ".gdx", ".vu", ".out", ".tmp" when the input ends in one of the first three, else ".gdx".
std::string_view TranslatedExtension(std::string_view input_path);

SideFileNames MakeSideFileNames(std::string_view input_path, bool scan_mode);

// The files this job will create or truncate, in the order they are opened, and last the
// PG library's log pg.log, which the library makes in the working directory.
std::vector<std::string> FilesWritten(const SideFileNames& names, bool log_to_stderr);

// 0 when no file in `written` is the input (same device and inode) and no two of them
// share a name; otherwise -1 after a message naming the clash.
int CheckSideFiles(std::string_view input_path, const std::vector<std::string>& written);

}  // namespace kavrinth
