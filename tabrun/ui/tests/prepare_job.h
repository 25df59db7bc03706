// For Tabrun's window tests: the frame's job brought to the Translate step through the
// core, without the dialogs: the sample scanned, its CFG file chosen, top structure
// TESTPAT, layers 1-5 to L<n>.em in the working directory, the settings files written.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/app_profile.h"
#include "support/run_program.h"
#include "tabrun/core/job_actions.h"
#include "tabrun/core/layer_output_table.h"
#include "tabrun/core/tests/reference_run.h"
#include "tabrun/ui/main_frame.h"

namespace kavrinth::test_support {

// The scanned job's top structure TESTPAT and layers 1-5 to L<n>.em, the settings written.
inline void ChooseSampleStructureAndLayers(TabrunJob& job) {
  ASSERT_TRUE(ChooseTopStructure(&job, "TESTPAT"));
  for (int layer : reference_run::kLayers) {
    job.layers.selected.push_back(layer);
    MakeIntermediateName(&job.layers, layer, job.InWorkingDir("L" + std::to_string(layer) + ".em"));
  }
  ASSERT_TRUE(SaveJobSettings(job));
}

inline void PrepareJob(CMainFrame* frame, const std::string& gds, const std::string& program_dir) {
  TabrunJob& job = frame->job();
  job.program_dir = program_dir;
  const ProgramRunner runner = [&job](const std::string& p, const ProgramArguments& a, int32_t* e,
                                      std::string* r) {
    return RunProgram(nullptr, p, job.working_dir.c_str(), a, e, true, nullptr, r);
  };
  ASSERT_EQ(ScanGdsFile(&job, gds, runner), ScanResult::kScanned);
  bool failed = false;
  SelectCfgFile(&job, job.cfg_path, CAppProfile(), &failed);
  ChooseSampleStructureAndLayers(job);
}

}  // namespace kavrinth::test_support
