// Helpers of the viewer application's tests: a private settings and runtime directory per
// test, small data files, and reading the settings file the viewer writes.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ini.h"
#include "support/qt/tests/qt_test_support.h"
#include "viewer/app/command_line.h"
#include "viewer/app/lumra_app.h"
#include "viewer/app/lumra_view.h"
#include "viewer/app/main_frame.h"
#include "viewer/app/viewer_settings.h"
#include "viewer/app/viewer_state.h"
#include "viewer/model/gdx_database.h"
#include "viewer/model/job_file.h"
#include "viewer/model/layer_table.h"

namespace kavrinth {

// One ElectroMask flash: a small valid PG file.
inline constexpr const char* kSmallEmFile = "<X100Y200W30V10U0SZ";

// A fresh directory per test, used as the current directory, with settings under
// config/ and the runtime directory (hand-over socket and lock) under runtime/, so that
// tests never meet each other's viewers, also in parallel runs.
class VexilTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    EnterTempDir();
    config_dir_ = Path("config");
    runtime_dir_ = Path("runtime");
    ::mkdir(config_dir_.c_str(), 0700);
    ::mkdir(runtime_dir_.c_str(), 0700);
    ::setenv("XDG_CONFIG_HOME", config_dir_.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", runtime_dir_.c_str(), 1);
    // The viewer's support files (its font) lie beside the programs.
    ::setenv("KAVRINTH_PROGRAM_DIR", VEXIL_TEST_PROGRAM_DIR, 0);
  }

  std::string SettingsPath() const { return config_dir_ + "/Kavrinth/Vexil.ini"; }
  // A value of the viewer's settings file, or "<missing>".
  std::string Setting(const std::string& name) const {
    IniFile ini;
    ini.Load(SettingsPath());
    return ini.GetString(kVexilAppName, name, "<missing>", 4096);
  }
  void WriteSetting(const std::string& name, const std::string& value) const {
    ::mkdir((config_dir_ + "/Kavrinth").c_str(), 0700);
    IniFile ini;
    ini.Load(SettingsPath());
    ini.Set(kVexilAppName, name, value);
    ASSERT_TRUE(ini.Save());
  }

  std::string config_dir_;
  std::string runtime_dir_;
};

// The viewer started in-process on the test's own directories: the viewer's state is fresh
// before each test, and the application and its layers are gone after it.
class VexilAppTest : public VexilTest {
 protected:
  void SetUp() override {
    VexilTest::SetUp();
    ResetProcessState();
  }
  void TearDown() override {
    app_.reset();
    ClearLayerTable();
    GdxFreeCurrentLibrary();
    VexilTest::TearDown();
  }
  void Start(const std::vector<std::string>& words) {
    app_ = std::make_unique<CLumraApp>();
    app_->InitInstance(ParseCommandLine(words, temp_.path(), true));
  }
  // The program started again, as a new process: the application goes and the viewer's
  // process-wide state is what a new process starts with. A closed viewer leaves its job
  // flags behind (a real process ends there), and a start that inherited "job loaded" would
  // paint and count as drawn before its own job is open, with the display's units still
  // those of no job.
  void Restart(const std::vector<std::string>& words) {
    app_.reset();
    ResetProcessState();
    Start(words);
  }
  // The job and drawing flags, the job state, the layer table, the import format and unit
  // and the unit digit set, as a new process has them.
  static void ResetProcessState() {
    AppState() = ViewerAppState();
    JobState() = ViewerJobState{};
    ClearLayerTable();
    ImportSettings() = ViewerImportSettings();
    CurrentUnitDigits() = UnitDigits();
  }
  CMainFrame* frame() const { return app_->frame(); }
  CLumraView* view() const { return app_->view(); }
  static bool WaitDrawn() {
    return WaitFor([] { return AppState().job_loaded && AppState().picture_valid; });
  }

  std::unique_ptr<CLumraApp> app_;
};

}  // namespace kavrinth
