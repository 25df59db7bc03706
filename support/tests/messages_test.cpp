// Tests of the message table and the frame title.
#include "support/messages.h"

#include <gtest/gtest.h>

#include <string>

#include "testing/temp_dir.h"

namespace kavrinth {
namespace {

TEST(LoadMessageTextTest, TextsByIdAndNullForUnknownIds) {
  const std::pair<int, const char*> cases[] = {
      {3841, "PATH"},
      {3844, "TMPDIR"},
      {4097, "Window creation failed!"},
      {4112, "User Break!  Function terminated."},
      {4166, "Cannot remove/delete file"},
      {kMessageFileAlreadyExist, "File already exist"},
      {kMessageButtonCancel, "Cancel"},
      {kMessageButtonOk, "OK"},
      {kMessageButtonOverwrite, "Overwrite"},
      {kMessageButtonBrowse, "Browse"},
      {kMessageSystemErrorBase, "Out of memory"},
      {kMessageSystemErrorBase + 2, "File not found"},
      {32531, "The media is write protected"},
      {32544, "The process cannot access the file because it is being used by another process"},
      {32545,
       "The process cannot access the file because another process has locked a portion of "
       "the file"},
  };
  for (const auto& [id, text] : cases) {
    ASSERT_NE(LoadMessageText(id), nullptr) << id;
    EXPECT_STREQ(LoadMessageText(id), text) << id;
  }
  for (int id : {0, -1, 3840, 3845, 4099, 4171, 4196, 32532, 32543, 32546}) {
    EXPECT_EQ(LoadMessageText(id), nullptr) << id;
  }
  // The system texts run without gaps from the base to 32531.
  for (int id = kMessageSystemErrorBase; id <= 32531; ++id) EXPECT_NE(LoadMessageText(id), nullptr);
}

TEST(MakeTitleStringTest, NameOrApplicationName) {
  EXPECT_EQ(MakeTitleString("job.vjb", "Viewer"), "job.vjb");
  EXPECT_EQ(MakeTitleString(nullptr, "Viewer"), "Viewer");
  EXPECT_EQ(MakeTitleString("", "Viewer"), "");
}

class ComposeFrameTitleTest : public test_support::TempDirTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(TempDirTest::SetUp());
    existing_ = temp_.Write("b.em", "x");
  }

  std::string existing_;
};

TEST_F(ComposeFrameTitleTest, ComposesTheDocumentPart) {
  EXPECT_EQ(ComposeFrameTitle("Viewer", true, "/jobs/a.wf2", nullptr, "2 layers", false),
            "Viewer - a.wf2 - [2 layers]");
  EXPECT_EQ(ComposeFrameTitle("Viewer", true, "/jobs/a.wf2", nullptr, "2 layers", true),
            "a.wf2 - [2 layers] - Viewer");
  EXPECT_EQ(ComposeFrameTitle("Viewer", true, "a.wf2", existing_.c_str(), nullptr, false),
            "Viewer - a.wf2,b.em");
  std::string missing = temp_.File("missing.em");
  EXPECT_EQ(ComposeFrameTitle("Viewer", true, "a.wf2", missing.c_str(), nullptr, false),
            "Viewer - a.wf2");
  EXPECT_EQ(ComposeFrameTitle("Viewer", true, "a.wf2", "", nullptr, false), "Viewer - a.wf2");
}

TEST_F(ComposeFrameTitleTest, EmptyDocumentPartGivesTheApplicationTitle) {
  EXPECT_EQ(ComposeFrameTitle("Viewer", false, "/jobs/a.wf2", existing_.c_str(), "x", false),
            "Viewer");
  EXPECT_EQ(ComposeFrameTitle("Viewer", true, "", nullptr, nullptr, true), "Viewer");
  EXPECT_EQ(ComposeFrameTitle("Viewer", true, "/jobs/", nullptr, nullptr, false), "Viewer");
}

}  // namespace
}  // namespace kavrinth
