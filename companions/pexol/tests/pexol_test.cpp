// pexol starts KLayout on the file when it is on the PATH, and otherwise fails with the
// message that says how to install it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "testing/temp_dir.h"

namespace kavrinth {
namespace {

using PexolTest = test_support::TempDirTest;

int RunPexol(const std::string& path_variable, const std::string& arguments,
             const std::string& output) {
  const std::string command = "timeout 60 env -u DISPLAY -u WAYLAND_DISPLAY PATH='" +
                              path_variable + "' '" + PEXOL_PROGRAM + "' " + arguments + " > '" +
                              output + "' 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(PexolTest, StartsKLayoutOnTheFile) {
  // PATH holds only this directory: the stand-in uses shell built-ins alone.
  const std::string klayout =
      temp_.Write("bin/klayout", "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" +
                                     temp_.File("bin/args") + "'\n");
  chmod(klayout.c_str(), 0755);
  EXPECT_EQ(RunPexol(temp_.File("bin"), "'/data/a b.gds' -title:Pexol", temp_.File("out")), 0);
  EXPECT_EQ(temp_.Read("bin/args"), "/data/a b.gds\n");
}

TEST_F(PexolTest, SaysHowToInstallKLayoutWhenItIsMissing) {
  EXPECT_EQ(RunPexol(temp_.File("nothing"), "/data/a.gds", temp_.File("out")), 1);
  EXPECT_NE(temp_.Read("out").find("KLayout is not installed, so /data/a.gds cannot be shown.\n"
                                   "Install it with: apt-get install klayout"),
            std::string::npos)
      << temp_.Read("out");
  EXPECT_EQ(RunPexol(temp_.File("nothing"), "", temp_.File("out")), 1);
  EXPECT_NE(temp_.Read("out").find("no GDSII file given"), std::string::npos);
  EXPECT_EQ(RunPexol(temp_.File("nothing"), "--help", temp_.File("out")), 0);
  EXPECT_EQ(temp_.Read("out").rfind("Usage: pexol", 0), 0u);
}

}  // namespace
}  // namespace kavrinth
