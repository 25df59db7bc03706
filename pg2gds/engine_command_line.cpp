// Parsing the engine's command line and making the working copy of its job.
#include "pg2gds/engine_command_line.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "platform/files.h"
#include "support/buf_file.h"
#include "support/paths.h"

namespace kavrinth {

namespace {

constexpr size_t kMaxTopName = 32;

struct ParseState {
  EngineRun& run;
  const std::vector<std::string>& args;
  size_t index = 0;

  bool job_named() const { return !run.job_file.empty(); }
  bool job_taken() const { return job_named() || !run.job_copy_path.empty(); }
  const std::string* next() const { return index + 1 < args.size() ? &args[index + 1] : nullptr; }
};

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// A real at the start of the text (blanks skipped); nothing when it starts no number or
// is not finite.
std::optional<double> LeadingReal(const char* text, const char** end) {
  char* stop = nullptr;
  const double value = std::strtod(text, &stop);
  if (stop == text || !std::isfinite(value)) return std::nullopt;
  if (end) *end = stop;
  return value;
}

// "-limit:x1,y1,x2,y2": the box only when all four reals are there.
void SetLimit(ParseState& state, std::string_view arg) {
  if (arg.size() < 7 || !EqualsNoCase(arg.substr(1, 6), "limit:")) return;
  const std::string values(arg.substr(7));
  std::array<double, 4> box{};
  const char* text = values.c_str();
  for (size_t i = 0; i < box.size(); ++i) {
    if (i > 0 && *text++ != ',') return;
    std::optional<double> value = LeadingReal(text, &text);
    if (!value) return;
    box[i] = *value;
  }
  state.run.extents = {box[0], box[1], box[2], box[3]};
  state.run.accumulate_extents = false;
}

void SetOutput(ParseState& state, std::string_view arg) {
  if (arg.size() < 3 || arg[2] != ':') return;
  std::string output(arg.substr(3));
  ForwardToBackslash(output);
  state.run.output_path = output;
}

void SetFlashAsPath(ParseState& state, std::string_view) { state.run.flash_as_path = true; }
void LeaveTableOut(ParseState& state, std::string_view) { state.run.layer_table_in_log = false; }
void Accept(ParseState&, std::string_view) {}

void SetUnit(ParseState& state, std::string_view arg) {
  SelectUnitLetter(state.run, arg.size() > 3 ? arg[3] : '\0');
}

// Exactly "-f": the next argument names the job, which then opens no log. The next
// argument is still examined in its own turn.
void JobFileFollows(ParseState& state, std::string_view arg) {
  if (arg != "-f" || state.job_taken() || state.next() == nullptr) return;
  state.run.job_file = *state.next();
}

void SetMachine(ParseState& state, std::string_view arg) {
  if (!state.run.traits->machine_options || arg.size() < 3) return;
  if (arg[2] == '0') state.run.pg_format = kPgFormatMann3000;
  if (arg[2] == '6') state.run.pg_format = kPgFormatMann3600;
}

struct OptionRow {
  char letter;  // the option's second character
  void (*apply)(ParseState&, std::string_view);
};

constexpr std::array<OptionRow, 13> kOptions = {{
    {'o', SetOutput},
    {'O', SetOutput},
    {'p', SetFlashAsPath},
    {'P', SetFlashAsPath},
    {'S', LeaveTableOut},
    {'s', Accept},
    {'u', SetUnit},
    {'U', SetUnit},
    {'f', JobFileFollows},
    {'l', SetLimit},
    {'L', SetLimit},
    {'3', SetMachine},
    {'\0', Accept},
}};

// "-top" and "-scale" with a following argument, which they consume: true when the
// argument was one of them.
bool ApplyValueOption(ParseState& state, std::string_view arg) {
  const std::string* value = state.next();
  if (value == nullptr) return false;
  if (EqualsNoCase(arg, "-top")) {
    state.run.top_name = value->substr(0, kMaxTopName);
  } else if (EqualsNoCase(arg, "-scale")) {
    std::optional<double> scale = LeadingReal(value->c_str(), nullptr);
    if (scale && *scale > 0) state.run.scale = *scale;
  } else {
    return false;
  }
  ++state.index;
  return true;
}

void ApplyOption(ParseState& state, std::string_view arg) {
  if (ApplyValueOption(state, arg)) return;
  const char letter = arg.size() > 1 ? arg[1] : '\0';
  for (const OptionRow& row : kOptions) {
    if (row.letter == letter) {
      row.apply(state, arg);
      return;
    }
  }
}

// The log of a job named by "@": the job's name with ".log", in the current directory,
// replacing an older log, but never the job itself.
void OpenLog(EngineRun& run) {
  const std::string job = NativePath(run.job_file);
  std::string name;
  SplitPath(job, nullptr, &name);
  if (name.empty()) return;
  const std::string log_path = ReplaceExtension(name, ".log");
  if (SameExistingFile(log_path, ResolveExistingPath(job))) return;
  if (std::FILE* file = std::fopen(log_path.c_str(), "w+b")) {
    run.log.reset(file);
    run.log_path = log_path;
  }
}

// A plain word becomes a line of the job copy; a failed append is skipped.
void AppendJobLine(EngineRun& run, std::string_view word) {
  if (run.job_copy_path.empty()) {
    run.job_copy_path = MakeTempFileName();
    run.job_copy_is_temporary = true;
    if (run.job_copy_path.empty()) return;
  }
  std::FILE* file = std::fopen(run.job_copy_path.c_str(), "ab");
  if (file == nullptr) return;
  const std::string line = std::string(word) + "\r\n";
  std::fwrite(line.data(), 1, line.size(), file);
  std::fclose(file);
}

bool CopyFileOnto(const std::string& source, const std::string& target) {
  std::unique_ptr<BufFile> in = BufFileOpen(source.c_str(), "rb");
  if (!in) return false;
  std::unique_ptr<BufFile> out = BufFileOpen(target.c_str(), "wb");
  if (!out) return false;
  const bool copied = BufFileCopy(out.get(), in.get()) == 0;
  const bool closed = BufFileClose(std::move(out)) == 0;
  BufFileClose(std::move(in));
  return copied && closed;
}

// The job is read from a fresh temporary copy in the current directory. When no
// temporary can be made there, the job is read where it is (and never removed).
void MakeJobCopy(EngineRun& run) {
  const std::string source = ResolveExistingPath(NativePath(run.job_file));
  const std::string copy = MakeTempFileName();
  if (copy.empty()) {
    run.job_copy_path = source;
    run.job_copy_is_temporary = false;
    return;
  }
  run.job_copy_path = copy;
  run.job_copy_is_temporary = true;
  // The temporary stays ours until it is removed, so that no other program's file can
  // take its name; without a complete copy there is no job to read.
  run.job_copy_failed = !CopyFileOnto(source, copy);
}

void ResetCommandLineState(EngineRun& run) {
  run.job_file.clear();
  run.job_copy_path.clear();
  run.job_copy_failed = false;
  run.output_path.clear();
  run.units = UnitSettings{};
  if (run.traits->start_letter != 0) SelectUnitLetter(run, run.traits->start_letter);
  run.top_name = "_PG_DATA";
  run.accumulate_extents = true;
}

}  // namespace

int ParseEngineCommandLine(EngineRun& run, const std::vector<std::string>& args) {
  ResetCommandLineState(run);
  ParseState state{run, args};
  for (state.index = 1; state.index < args.size(); ++state.index) {
    const std::string& arg = args[state.index];
    if (!arg.empty() && arg[0] == '-') {
      ApplyOption(state, arg);
    } else if (!arg.empty() && arg[0] == '@') {
      if (state.job_taken() || arg.size() == 1) continue;
      run.job_file = arg.substr(1);
      OpenLog(run);
    } else if (!state.job_named()) {
      AppendJobLine(run, arg);
    }
  }
  if (state.job_named()) MakeJobCopy(run);
  if (run.job_copy_path.empty() || run.output_path.empty() || run.units.letter == 0) return 1;
  std::string extension;
  SplitExtension(run.output_path, nullptr, &extension);
  if (extension.empty()) run.output_path = ReplaceExtension(run.output_path, ".gds");
  if (run.pg_format == kPgFormatMann3600 && run.units.unit_code == kUnitMetricMann3000) {
    run.units.unit_code = kUnitMetricMann3600;
  }
  return 0;
}

void RemoveJobCopy(EngineRun& run) {
  if (run.job_copy_is_temporary && !run.job_copy_path.empty()) {
    std::remove(run.job_copy_path.c_str());
  }
  run.job_copy_path.clear();
}

}  // namespace kavrinth
