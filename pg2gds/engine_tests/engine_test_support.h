// Fixture and helpers of the engine tests: a fresh temporary working directory, small
// files written into it, the GDSII library read back, and the engine programs run as
// children with their messages and progress collected.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gdsii/library.h"
#include "support/progress_protocol.h"
#include "support/progress_sink.h"

namespace kavrinth {

// Runs each test in a fresh directory under /tmp, which is its current directory, and
// removes it at the end.
class EngineDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = "/tmp/corv_engine_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    previous_dir_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    ResetCancelForTesting();
  }
  void TearDown() override {
    ResetCancelForTesting();
    std::filesystem::current_path(previous_dir_);
    std::filesystem::remove_all(dir_);
  }

  static void WriteFile(const std::string& path, const std::string& bytes) {
    std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // The names in the test directory, sorted.
  std::vector<std::string> DirectoryNames() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string dir_;
  std::filesystem::path previous_dir_;
};

// An engine job file as the shell writes it: one "layer%d" section per (layer, path).
inline std::string JobText(const std::vector<std::pair<std::string, std::string>>& files) {
  std::string general = "[General]\r\nlayers=";
  std::string sections;
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string name = "layer" + std::to_string(i);
    general += (i ? "," : "") + name;
    sections += "[" + name + "]\r\nlayer=" + files[i].first + "," + files[i].second + "\r\n";
  }
  return general + "\r\n" + sections;
}

// The library's one structure's elements (boundaries and paths) as read back.
inline std::vector<GdsElement> ReadElements(const std::string& path, GdsLibrary* library) {
  std::string error;
  EXPECT_EQ(GdsReadLibrary(path, library, &error), 0) << error;
  EXPECT_EQ(library->structures.size(), 1u);
  if (library->structures.empty()) return {};
  return library->structures[0].elements;
}

// The points of an element as "(x,y)" texts joined, for readable comparisons.
inline std::string PointsText(const GdsElement& element) {
  std::string text;
  for (const GdsIntPoint& p : element.points) {
    text += "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
  }
  return text;
}

// The lines a progress sink received, of one command.
inline std::vector<std::string> SinkTexts(const std::vector<ProgressLine>& lines,
                                          ProgressCommand command, int index = 0) {
  std::vector<std::string> texts;
  for (const ProgressLine& line : lines) {
    if (line.command == command && line.index == index) texts.push_back(line.text);
  }
  return texts;
}

}  // namespace kavrinth
