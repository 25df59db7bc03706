// Shared by the viewer model tests: a recording fake of the viewer application's services,
// a fixture that leaves the layout database and the layer table empty, and temporary files.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "viewer/model/gdx_database.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/viewer_services.h"

namespace kavrinth {

class FakeViewerServices : public ViewerServices {
 public:
  void SendMainEvent(std::string_view status_text) override {
    status_texts.emplace_back(status_text);
  }
  void SetWaitCursor(bool on) override { wait_cursor_changes.push_back(on); }
  void ApplyHitFlags(GdxHandle, int32_t, int32_t, int32_t) override {}
  std::string ErrorListPath() const override { return error_list_path; }
  void ErrorListClear() override {
    rows.clear();
    ++clears;
  }
  void ErrorListAddRow(std::string_view row) override { rows.emplace_back(row); }
  void ErrorListLoaded() override { ++loaded_calls; }
  ViewerDisplayUnits& DisplayUnits() override { return display; }
  int32_t SelectionMode() const override { return selection_mode; }
  int PlotWindow(const GdxRect& rect) override {
    plotted.push_back(rect);
    return 1;
  }
  void ClearEmptyDisplayFlag() override { empty_display_cleared = true; }
  int64_t DatabaseMemoryLimit() const override { return memory_limit; }

  std::vector<std::string> status_texts;
  std::vector<bool> wait_cursor_changes;
  std::string error_list_path;
  std::vector<std::string> rows;
  int clears = 0;
  int loaded_calls = 0;
  ViewerDisplayUnits display;
  int32_t selection_mode = 0;
  int64_t memory_limit = 0;
  std::vector<GdxRect> plotted;
  bool empty_display_cleared = false;
};

// Frees every library, the scratch library and the session state, and empties the layer
// table and the viewer's settings, before and after each test.
inline void ResetViewerModel() {
  while (GdxChainHead() != kGdxNoHandle) GdxFreeLibrary(GdxChainHead());
  GdxFreeCurrentLibrary();
  GdxResetSessionState();
  GdxSetAllocationLimitForTesting(-1);
  for (ViewLayerEntry& entry : LayerTable()) entry = ViewLayerEntry{};
  ImportSettings() = ViewerImportSettings{};
  CurrentUnitDigits() = UnitDigits{};
  JobState() = ViewerJobState{};
}

class ViewerModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetViewerModel();
    std::string pattern = "/tmp/viewer_model_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    ResetViewerModel();
    std::filesystem::remove_all(dir_);
  }

  std::string PathOf(const std::string& name) const { return dir_ + "/" + name; }

  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(PathOf(name), std::ios::binary) << bytes;
    return PathOf(name);
  }

  static std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  FakeViewerServices services_;
  ScopedViewerServices scoped_services_{&services_};
  std::string dir_;
};

// One stored element as a test sees it.
struct StoredElement {
  int32_t type;
  std::vector<GdxWord> entry;
  std::vector<GdxWord> data;  // header and point words
};

// The library's entries in stream order, with the data words GdxElementPointWords counts.
inline std::vector<StoredElement> StoredElements(const GdxLibrary* library) {
  std::vector<StoredElement> elements;
  for (GdxEntryCursor cursor(library); cursor.Valid(); cursor.Next()) {
    StoredElement element{cursor.Type(), {cursor.Entry(), cursor.Entry() + kGdxEntryWords}, {}};
    if (const GdxWord* data = cursor.Data()) {
      element.data.assign(data, data + GdxElementPointWords(element.type, data));
    }
    elements.push_back(std::move(element));
  }
  return elements;
}

}  // namespace kavrinth
