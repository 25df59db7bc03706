// libquenrix.so as the engine uses it: loaded with dlopen, entered through
// quenrix_ordinal_1 with the engine's argument vector, exporting nothing else.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "companions/quenrix/quenrix.h"
#include "companions/quenrix/tests/quenrix_test_support.h"

namespace kavrinth {
namespace {

using Entry = int32_t (*)(int32_t, char**, uint32_t, volatile int*);

class QuenrixLibraryTest : public testing::WorkingDirectoryTest {
 protected:
  void SetUp() override {
    WorkingDirectoryTest::SetUp();
    handle_ = dlopen(QUENRIX_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
    entry_ = reinterpret_cast<Entry>(dlsym(handle_, "quenrix_ordinal_1"));
    ASSERT_NE(entry_, nullptr);
    testing::WriteHeaderStream("job.hdx", {.layers = {1, 4}});
    testing::StreamBuilder s("job.gdx");
    s.Begin("CHIPTOP");
    s.Rectangle(1, 0, 0, 300, 200);
    s.End();
    s.Finish();
  }
  void TearDown() override {
    if (handle_ != nullptr) dlclose(handle_);
    WorkingDirectoryTest::TearDown();
  }

  int32_t Call(const char* option, volatile int* cancel) {
    std::string path = QUENRIX_LIBRARY_PATH, header = "job.hdx", flag = option ? option : "";
    std::vector<char*> argv = {path.data(), header.data()};
    if (option) argv.push_back(flag.data());
    const auto argc = static_cast<int32_t>(argv.size());
    argv.push_back(nullptr);
    return entry_(argc, argv.data(), 0, cancel);
  }

  void* handle_ = nullptr;
  Entry entry_ = nullptr;
};

TEST_F(QuenrixLibraryTest, WritesTheLayerFilesAsTheEngineCallsIt) {
  volatile int cancel = 0;
  ASSERT_EQ(Call("-debugx", &cancel), 0);
  EXPECT_EQ(testing::ReadIntermediate("CHIPTO01.int").Area(), 60000);
  EXPECT_EQ(ReadFile("CHIPTO04.int").size(), 23u);
  EXPECT_NE(ReadFile("pg.log").find("structures"), std::string::npos);
}

TEST_F(QuenrixLibraryTest, ASetCancelFlagEndsTheRunWithoutFiles) {
  volatile int cancel = 1;
  EXPECT_EQ(Call(nullptr, &cancel), -1);
  EXPECT_TRUE(NoOutputs());
}

TEST_F(QuenrixLibraryTest, ExportsOnlyTheEntry) {
  std::string command = std::string("nm -D --defined-only ") + QUENRIX_LIBRARY_PATH;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
  ASSERT_NE(pipe, nullptr);
  std::vector<std::string> functions;
  char line[512];
  while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
    char address[64], type[8], name[400];
    if (std::sscanf(line, "%63s %7s %399s", address, type, name) == 3 &&
        (type[0] == 'T' || type[0] == 'W')) {
      functions.push_back(name);
    }
  }
  EXPECT_EQ(functions, std::vector<std::string>{"quenrix_ordinal_1"});
}

}  // namespace
}  // namespace kavrinth
