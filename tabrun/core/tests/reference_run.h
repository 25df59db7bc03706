// The PG files of the sample layout as the programs give them when run by hand, the way
// tools/demo.sh runs them, with samples/demo.cfg as pg.cfg and gds.cfg: what the shell's
// road tests compare their outputs with.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/job_file_names.h"
#include "support/run_program.h"
#include "tabrun/core/file_ops.h"
#include "testing/temp_dir.h"

namespace kavrinth::reference_run {

inline const std::string kBin = KAVRINTH_BIN_DIR;
inline const std::string kSamples = KAVRINTH_SAMPLES_DIR;
inline const std::vector<int> kLayers = {1, 2, 3, 4, 5};

// Files the scanner refuses, each with the reason it gives as the shell shows it under its
// message.
struct RefusedLayout {
  const char* name;
  std::string bytes;
  const char* reason;
};
inline const std::vector<RefusedLayout> kRefusedLayouts = {
    {"packed.gds", std::string("\x1f\x8b\x08\x00", 4) + "deflated layout",
     "The file is compressed (gzip), not a GDSII stream; decompress it first (gunzip)."},
    {"notes.gds", "Layout notes, no stream\n",
     "The file is not a GDSII stream: it does not begin with a HEADER record (record 121 at "
     "offset 0: length 19553 is odd)."},
};

inline int Run(const std::string& program, const std::string& arguments, const std::string& dir,
               int32_t* exit_code) {
  return RunProgram(nullptr, program, dir.c_str(), arguments, exit_code, true);
}

// Runs the programs the way tools/demo.sh does, with samples/demo.cfg as pg.cfg and gds.cfg.
inline std::map<std::string, std::string> ReferenceOutputs(const test_support::TempDir& dir,
                                                           const std::string& top, bool mann) {
  const std::string gds = dir.Write("demo.gds", test_support::ReadBytes(kSamples + "/demo.gds"));
  const std::string cfg = test_support::ReadBytes(kSamples + "/demo.cfg");
  dir.Write("pg.cfg", cfg);
  dir.Write("gds.cfg", cfg);
  int32_t count = -1, result = -1;
  EXPECT_EQ(Run(kBin + "/selvar",
                "\"" + gds + "\" -max:8192 -sh -sea -elmcnt \"-o:" + dir.File("demo.ssn") + "\"",
                dir.path(), &count),
            1);
  const std::string args = "\"" + gds + "\" 0.500000 1,2,3,4,5 " + top + " -s1.000000 ";
  EXPECT_EQ(Run(kBin + "/tabreng", args + " -polycnt", dir.path(), &count), 1);
  EXPECT_GE(count, 0);
  EXPECT_EQ(
      Run(kBin + "/tabreng", args + " -polycnt:" + std::to_string(count), dir.path(), &result), 1);
  EXPECT_EQ(result, 0);
  std::map<std::string, std::string> outputs;
  for (int layer : kLayers) {
    const std::string intermediate = IntermediateFileName(top, layer);
    if (FileSize(dir.File(intermediate)) <= 23) continue;
    outputs[intermediate] = dir.Read(intermediate);
    int32_t exit_code = -1;
    const std::string program = kBin + (mann ? "/mistrel" : "/ferolt");
    EXPECT_EQ(Run(program, intermediate + " microns 1.000000 -p -q" + (mann ? " -3000" : ""),
                  dir.path(), &exit_code),
              1);
    EXPECT_GE(exit_code, 0);  // the count of warnings, which pg.log names
    const std::string result = ConverterResultName(intermediate, !mann);
    outputs[result] = dir.Read(result);
  }
  return outputs;
}

// The number of layers of the sample whose Electromask file, as read(layer) gives it, is the
// one the programs give by hand; one that differs fails the test.
inline int CountMatchingOutputs(const std::function<std::string(int)>& read) {
  test_support::TempDir reference("tabrun_reference");
  const auto expected = ReferenceOutputs(reference, "TESTPAT", false);
  int compared = 0;
  for (int layer : kLayers) {
    const std::string result = ConverterResultName(IntermediateFileName("TESTPAT", layer), true);
    if (expected.count(result) == 0) continue;
    EXPECT_TRUE(read(layer) == expected.at(result)) << "GDS layer " << layer;
    ++compared;
  }
  return compared;
}

}  // namespace kavrinth::reference_run
