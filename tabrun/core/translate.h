// The Translate sequence: the engine's counting pass and real pass, the job log, and the
// output conversion of every layer's Intermediate file. The windows give it a host that
// runs the children (with the engine progress dialog), shows status texts and asks the user.
#pragma once

#include <cstdint>
#include <string>

#include "tabrun/core/job_actions.h"
#include "tabrun/core/job_log.h"
#include "tabrun/core/tabrun_job.h"

namespace kavrinth {

class TranslateHost {
 public:
  virtual ~TranslateHost() = default;
  // Runs the engine and waits, showing its progress: RunProgram's result, the engine's
  // 32-bit result in *exit_code.
  virtual int RunEngine(const std::string& program, const ProgramArguments& arguments,
                        int32_t* exit_code) = 0;
  // Runs a converter and waits.
  virtual int RunConverter(const std::string& program, const ProgramArguments& arguments,
                           int32_t* exit_code) = 0;
  virtual void SetStatus(const std::string& text) = 0;
  // With the debug flag: shows a command line; false when the user cancelled.
  virtual bool ConfirmCommand(const std::string& command_line) = 0;
  // The Continue prompt after warnings, modal: true for Yes.
  virtual bool AskContinue(const std::string& text) = 0;
  // Shows the log in the log view; false when it could not be shown, with the reason for
  // the message in *why ("" when there is none to add).
  virtual bool ShowLog(const std::string& path, std::string* why) = 0;
  // The real pass ended with 0 or more: View PG Files becomes available.
  virtual void TranslationFinished() = 0;
  // The last message the engine showed in its last run (the reason it gives for a
  // failure), or "" when it showed none or the host does not see its messages.
  virtual std::string LastEngineMessage() const { return {}; }
};

enum class TranslateResult {
  kRefused,     // no scan, or no layer chosen
  kFailed,      // a child could not run, the engine failed, or a file could not be written
  kCancelled,   // Cancel in the engine's progress dialog, or in the debug dialog
  kWarnings,    // the engine reported warnings and the user declined to go on
  kTranslated,  // PG files written
};

struct TranslateOutcome {
  TranslateResult result = TranslateResult::kFailed;
  int32_t polygon_count = -1;  // the counting pass's result
  int32_t engine_result = 0;   // the real pass's result
  std::string log_path;        // this run's job log
  bool rescan = false;         // refused for a GDSII file changed since its scan; the user
                               // asked to scan it again
};

// Runs the whole sequence for the job. Messages go through the current Notifier.
TranslateOutcome Translate(TabrunJob* job, TranslateHost* host);

// The engine's arguments (without -polycnt) as the shell passes them, one word each.
ProgramArguments EngineBaseArguments(const TabrunJob& job);

// The output conversion (also run by Yes in the Continue prompt): converts every selected
// layer's Intermediate file and moves the result to its PG output name, then appends the
// generated files to log_path. False when it stopped early. With log_refused_before (the
// view refused that log earlier in the run, and said so) a second refusal says nothing.
bool ConvertPgOutput(TabrunJob* job, TranslateHost* host, const std::string& log_path,
                     bool log_refused_before = false);

// Deletes the engine's side files (.err, .out) and pg.log, unless the debug flag is set.
void DeleteTempOutputs(const TabrunJob& job);

}  // namespace kavrinth
