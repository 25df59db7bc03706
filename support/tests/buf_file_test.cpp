// The buffered file: loading, buffering, line ends, numbers, seeks, writes, pipes and errors.
#include "support/buf_file.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "testing/temp_dir.h"
#include "testing/unprivileged.h"

namespace kavrinth {
namespace {

using BufFileTest = test_support::TempDirTest;

// Bytes that differ from their neighbours, so a wrong position shows.
std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + 3) % 251);
  return bytes;
}

std::vector<int> Chars(BufFile* file) {
  std::vector<int> chars;
  for (int c = BufFileGetChar(file); c >= 0; c = BufFileGetChar(file)) chars.push_back(c);
  return chars;
}

TEST_F(BufFileTest, SmallFileIsLoadedWholeAtOpenLargerIsReadLater) {
  // Rewriting the file after the open shows whether its bytes were already taken.
  struct Case {
    size_t size;
    char expected_first;
  } cases[] = {{size_t{kBufFileWholeLimit}, 'a'}, {size_t{kBufFileWholeLimit} + 1, 'b'}, {1, 'a'}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const std::string path = temp_.Write("f", std::string(c.size, 'a'));
    auto file = BufFileOpen(path.c_str(), "rb");
    ASSERT_TRUE(file);
    temp_.Write("f", std::string(c.size, 'b'));
    EXPECT_EQ(BufFileSize(file.get()), static_cast<int64_t>(c.size));
    EXPECT_EQ(BufFileGetByte(file.get()), c.expected_first);
    std::vector<char> rest(c.size + 10);
    EXPECT_EQ(BufFileRead(file.get(), rest.data(), rest.size()), c.size - 1);
    EXPECT_EQ(BufFileGetByte(file.get()), -1);
    EXPECT_EQ(BufFileError(file.get()), 0);
    EXPECT_EQ(BufFileClose(std::move(file)), 0);
  }
}

TEST_F(BufFileTest, GetCharMakesEveryLineEndOneNewline) {
  struct Case {
    std::string bytes;
    std::vector<int> chars;
  } cases[] = {
      {"A\r\nB\n\rC", {'A', 10, 'B', 10, 'C'}},
      {"a\rb", {'a', 10, 'b'}},
      {"a\n\nb", {'a', 10, 10, 'b'}},
      {"a\r\n\r\nb", {'a', 10, 10, 'b'}},
      {"a\n\r\n", {'a', 10, 10}},
      {"a\r", {'a', 10}},
      {"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    auto file = BufFileOpen(temp_.Write("t", c.bytes).c_str(), "r");
    ASSERT_TRUE(file);
    EXPECT_EQ(Chars(file.get()), c.chars);
  }
}

TEST_F(BufFileTest, CrLfSplitByARefillIsStillOneLineEnd) {
  // The CR is the last byte of the first buffer, the LF the first of the next.
  const size_t first = static_cast<size_t>(kBufFileBufferSize) - 1;
  std::string bytes(first, 'x');
  bytes += "\r\ny";
  bytes += std::string(20000, 'z');
  auto file = BufFileOpen(temp_.Write("t", bytes).c_str(), "r");
  ASSERT_TRUE(file);
  std::vector<int> chars = Chars(file.get());
  ASSERT_EQ(chars.size(), first + 2 + 20000);
  EXPECT_EQ(chars[first - 1], 'x');
  EXPECT_EQ(chars[first], 10);
  EXPECT_EQ(chars[first + 1], 'y');
}

TEST_F(BufFileTest, GetLineKeepsSizeMinusOneAndDropsTheRest) {
  auto file = BufFileOpen(temp_.Write("t", "0123456789\r\nnext\n\nlast").c_str(), "r");
  ASSERT_TRUE(file);
  std::string line = "stale";
  const char* expected[] = {"012", "nex", "", "las"};
  for (const char* text : expected) {
    ASSERT_TRUE(BufFileGetLine(file.get(), &line, 4));
    EXPECT_EQ(line, text);
  }
  EXPECT_FALSE(BufFileGetLine(file.get(), &line, 4));
  EXPECT_FALSE(BufFileGetLine(nullptr, &line, 4));
}

TEST_F(BufFileTest, GetLineReadsALineLongerThanTheBuffer) {
  const std::string longline(40000, 'q');
  auto file = BufFileOpen(temp_.Write("t", longline + "\nend\n").c_str(), "r");
  ASSERT_TRUE(file);
  std::string line;
  ASSERT_TRUE(BufFileGetLine(file.get(), &line, 50000));
  EXPECT_EQ(line, longline);
  ASSERT_TRUE(BufFileGetLine(file.get(), &line, 50000));
  EXPECT_EQ(line, "end");
  EXPECT_FALSE(BufFileGetLine(file.get(), &line, 50000));
}

TEST_F(BufFileTest, GetTokenTrimsTheRestOfTheLine) {
  struct Case {
    std::string bytes;
    size_t size;
    std::vector<std::string> tokens;  // then the end
  } cases[] = {
      {"   \nx", 80, {"", "x"}},
      {"  ab cd  \nnext", 80, {"ab cd", "next"}},
      {"\t\tword\r\n  second  \r\n", 80, {"word", "second"}},
      {"abcdef\nxy", 3, {"ab", "xy"}},
      {"ab c   \nz", 4, {"ab", "z"}},
      {"   ", 80, {}},
      {"", 80, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    auto file = BufFileOpen(temp_.Write("t", c.bytes).c_str(), "r");
    ASSERT_TRUE(file);
    std::string token;
    for (const std::string& expected : c.tokens) {
      ASSERT_TRUE(BufFileGetToken(&token, c.size, file.get()));
      EXPECT_EQ(token, expected);
    }
    EXPECT_FALSE(BufFileGetToken(&token, c.size, file.get()));
  }
}

TEST_F(BufFileTest, ReadIntStopsBeforeTheFirstNonDigitAndSaturates) {
  struct Case {
    std::string bytes;
    int32_t value;
    int next_byte;
  } cases[] = {
      {"  -42x", -42, 'x'},
      {"\r\n+17\r\n", 17, '\r'},
      {"2147483647 ", INT32_MAX, ' '},
      {"2147483648", INT32_MAX, -1},
      {"-2147483648;", INT32_MIN, ';'},
      {"-99999999999999999999;", INT32_MIN, ';'},
      {"123456789012345678901234567890", INT32_MAX, -1},
      {"abc", 0, 'a'},
      {"-x", 0, 'x'},
      {"+", 0, -1},
      {"   ", 0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    auto file = BufFileOpen(temp_.Write("t", c.bytes).c_str(), "r");
    ASSERT_TRUE(file);
    EXPECT_EQ(BufFileReadInt(file.get()), c.value);
    EXPECT_EQ(BufFileGetByte(file.get()), c.next_byte);
  }
  auto file = BufFileOpen(temp_.Write("t", "12 34\n-5").c_str(), "r");
  EXPECT_EQ(BufFileReadInt(file.get()), 12);
  EXPECT_EQ(BufFileReadInt(file.get()), 34);
  EXPECT_EQ(BufFileReadInt(file.get()), -5);
  EXPECT_EQ(BufFileReadInt(file.get()), 0);
}

TEST_F(BufFileTest, SeekAndTellAgreeInMemoryAndOnAHandle) {
  // 1000 bytes are held in memory, 40000 are read through the handle: same answers.
  for (size_t size : {size_t{1000}, size_t{40000}}) {
    SCOPED_TRACE(size);
    const std::string bytes = Pattern(size);
    const int64_t end = static_cast<int64_t>(size);
    auto file = BufFileOpen(temp_.Write("s", bytes).c_str(), "rb");
    ASSERT_TRUE(file);
    BufFile* f = file.get();
    auto byte_at = [&](int64_t i) { return static_cast<unsigned char>(bytes[i]); };

    for (int i = 0; i < 10; ++i) BufFileGetByte(f);
    EXPECT_EQ(BufFileTell(f), 10);
    struct Step {
      int64_t distance;
      int origin;
      int64_t position;
    } steps[] = {{100, 0, 100}, {-5, 1, 96}, {5, 2, end - 5}, {-5, 2, end - 5}, {0, 1, end - 4}};
    for (const Step& step : steps) {
      SCOPED_TRACE(testing::Message() << step.distance << " from " << step.origin);
      EXPECT_EQ(BufFileSeek(f, step.distance, step.origin), 0);
      EXPECT_EQ(BufFileTell(f), step.position);
      EXPECT_EQ(BufFileGetByte(f), byte_at(step.position));
    }
    EXPECT_EQ(BufFileRewind(f), 0);
    EXPECT_EQ(BufFileTell(f), 0);
    EXPECT_EQ(BufFileGetByte(f), byte_at(0));
    EXPECT_EQ(BufFileSeek(f, 0, 3), -1);
  }
}

TEST_F(BufFileTest, TellFollowsReadsRefillsSeeksAndWritesWithoutAskingTheHandle) {
  // Three buffers and a bit: every position is checked against the byte found there.
  const size_t size = static_cast<size_t>(3 * kBufFileBufferSize + 123);
  const std::string bytes = Pattern(size);
  auto file = BufFileOpen(temp_.Write("big", bytes).c_str(), "rb");
  ASSERT_TRUE(file);
  size_t read = 0;
  for (int c = BufFileGetByte(file.get()); c >= 0; c = BufFileGetByte(file.get())) {
    ASSERT_EQ(c, static_cast<unsigned char>(bytes[read]));
    ++read;
    if (read % 9973 == 0) {
      ASSERT_EQ(BufFileTell(file.get()), static_cast<int64_t>(read));
    }
  }
  EXPECT_EQ(read, size);
  EXPECT_EQ(BufFileTell(file.get()), static_cast<int64_t>(size));
  ASSERT_EQ(BufFileSeek(file.get(), -kBufFileBufferSize - 7, 1), 0);
  EXPECT_EQ(BufFileTell(file.get()), static_cast<int64_t>(size) - kBufFileBufferSize - 7);
  EXPECT_EQ(BufFileGetByte(file.get()),
            static_cast<unsigned char>(bytes[size - kBufFileBufferSize - 7]));

  // Writes move the handle: the position after them is where the next byte goes.
  file = BufFileOpen(temp_.Write("rw", "0123456789").c_str(), "r+b");
  ASSERT_TRUE(file);
  EXPECT_EQ(BufFileTell(file.get()), 0);
  EXPECT_EQ(BufFilePutString(file.get(), "ab"), 2);
  EXPECT_EQ(BufFileTell(file.get()), 2);
  EXPECT_EQ(BufFileGetByte(file.get()), '2');
  EXPECT_EQ(BufFileTell(file.get()), 3);
  file = BufFileOpen(temp_.File("rw").c_str(), "a");
  ASSERT_TRUE(file);
  EXPECT_EQ(BufFileTell(file.get()), 10);
  EXPECT_EQ(BufFilePutString(file.get(), "xyz"), 3);
  EXPECT_EQ(BufFileTell(file.get()), 13);
}

TEST_F(BufFileTest, SeekBeforeTheStartFailsOnAHandleAndClampsInMemory) {
  auto large = BufFileOpen(temp_.Write("l", Pattern(40000)).c_str(), "r");
  auto small = BufFileOpen(temp_.Write("s", Pattern(100)).c_str(), "r");
  ASSERT_TRUE(large && small);
  EXPECT_EQ(BufFileSeek(large.get(), -1, 0), -1);
  EXPECT_EQ(BufFileSeek(large.get(), -1, 1), -1);
  EXPECT_EQ(BufFileSeek(small.get(), -1, 0), 0);
  EXPECT_EQ(BufFileTell(small.get()), 0);
  EXPECT_EQ(BufFileSeek(small.get(), 500, 1), 0);
  EXPECT_EQ(BufFileTell(small.get()), 100);
  EXPECT_EQ(BufFileGetByte(small.get()), -1);
  EXPECT_EQ(BufFileSeek(small.get(), INT64_MIN, 2), 0);
  EXPECT_EQ(BufFileTell(small.get()), 0);
}

TEST_F(BufFileTest, ReadSpansTheBufferAndLargeReadsGoStraightThrough) {
  const std::string bytes = Pattern(50000);
  auto file = BufFileOpen(temp_.Write("r", bytes).c_str(), "rb");
  ASSERT_TRUE(file);
  std::vector<char> got(40000);
  ASSERT_EQ(BufFileRead(file.get(), got.data(), 5), 5u);
  EXPECT_EQ(std::string(got.data(), 5), bytes.substr(0, 5));
  ASSERT_EQ(BufFileRead(file.get(), got.data(), 40000), 40000u);
  EXPECT_EQ(std::string(got.data(), 40000), bytes.substr(5, 40000));
  EXPECT_EQ(BufFileTell(file.get()), 40005);

  // The byte just read can be pushed back even after a read that bypassed the buffer.
  const int last = static_cast<unsigned char>(got[39999]);
  EXPECT_EQ(BufFileUngetChar(last, file.get()), last);
  EXPECT_EQ(BufFileTell(file.get()), 40004);
  EXPECT_EQ(BufFileGetByte(file.get()), static_cast<unsigned char>(bytes[40004]));

  std::vector<char> rest(100000);
  ASSERT_EQ(BufFileRead(file.get(), rest.data(), rest.size()), 9995u);
  EXPECT_EQ(std::string(rest.data(), 9995), bytes.substr(40005));
  EXPECT_EQ(BufFileRead(file.get(), rest.data(), rest.size()), 0u);
}

// A reader that scans the buffer through a pointer sees every byte once, in order, across
// refills, and the position it reports back is the one a byte-by-byte read would have.
TEST_F(BufFileTest, BufferedViewCoversTheFileAcrossRefills) {
  const size_t size = 3 * static_cast<size_t>(kBufFileBufferSize) + 1234;
  const std::string bytes = Pattern(size);
  for (const std::string& name : {temp_.Write("v", bytes), temp_.Write("small", "xyz")}) {
    auto file = BufFileOpen(name.c_str(), "rb");
    ASSERT_TRUE(file);
    const std::string expected = name.ends_with("v") ? bytes : "xyz";
    EXPECT_EQ(BufFileGetByte(file.get()), static_cast<unsigned char>(expected[0]));
    std::string seen(1, expected[0]);
    while (BufFileFillBuffer(file.get())) {
      const BufFileView view = BufFileBuffered(file.get());
      ASSERT_LT(view.begin, view.end);
      // Half of what is buffered, then the rest, so that the position moves in steps.
      const size_t half = static_cast<size_t>(view.end - view.begin + 1) / 2;
      seen.append(reinterpret_cast<const char*>(view.begin), half);
      BufFileConsume(file.get(), half);
      ASSERT_EQ(BufFileTell(file.get()), static_cast<int64_t>(seen.size()));
      const BufFileView rest = BufFileBuffered(file.get());
      ASSERT_EQ(rest.begin, view.begin + half);
      seen.append(reinterpret_cast<const char*>(rest.begin), rest.end - rest.begin);
      BufFileConsume(file.get(), static_cast<size_t>(rest.end - rest.begin));
    }
    EXPECT_EQ(BufFileError(file.get()), 0);
    EXPECT_TRUE(seen == expected) << seen.size() << " bytes seen";
    EXPECT_EQ(BufFileTell(file.get()), static_cast<int64_t>(expected.size()));
    EXPECT_EQ(BufFileBuffered(file.get()).begin, BufFileBuffered(file.get()).end);
    EXPECT_EQ(BufFileGetByte(file.get()), -1);
  }
  EXPECT_FALSE(BufFileFillBuffer(nullptr));
  EXPECT_EQ(BufFileBuffered(nullptr).begin, nullptr);
}

TEST_F(BufFileTest, UngetCharNeedsRoomInFrontOfThePosition) {
  auto file = BufFileOpen(temp_.Write("u", "ab").c_str(), "r");
  ASSERT_TRUE(file);
  EXPECT_EQ(BufFileUngetChar('Z', file.get()), -1);
  EXPECT_EQ(BufFileGetByte(file.get()), 'a');
  EXPECT_EQ(BufFileUngetChar('Z', file.get()), 'Z');
  EXPECT_EQ(BufFileGetByte(file.get()), 'Z');
  EXPECT_EQ(BufFileGetByte(file.get()), 'b');
}

TEST_F(BufFileTest, WriteModesReplaceAppendAndUpdate) {
  const std::string path = temp_.Write("w", "a much longer old content");
  auto file = BufFileOpen(path.c_str(), "w");
  ASSERT_TRUE(file);
  EXPECT_EQ(BufFilePutString(file.get(), "new"), 3);
  EXPECT_EQ(BufFileClose(std::move(file)), 0);
  EXPECT_EQ(test_support::ReadBytes(path), "new");

  file = BufFileOpen(path.c_str(), "a");
  ASSERT_TRUE(file);
  EXPECT_EQ(BufFileWrite(file.get(), "+tail", 5), 5u);
  BufFileClose(std::move(file));
  EXPECT_EQ(test_support::ReadBytes(path), "new+tail");

  // Update: a write, a seek, then the written bytes read back.
  file = BufFileOpen(temp_.File("fresh").c_str(), "w+b");
  ASSERT_TRUE(file);
  EXPECT_EQ(BufFilePutString(file.get(), "line one\r\nline two\r\n"), 20);
  EXPECT_EQ(BufFileRewind(file.get()), 0);
  std::string line;
  ASSERT_TRUE(BufFileGetLine(file.get(), &line, 80));
  EXPECT_EQ(line, "line one");
  EXPECT_EQ(BufFileSize(file.get()), 20);
  BufFileClose(std::move(file));

  // "r+" opens an existing file without truncating it, and creates a missing one.
  file = BufFileOpen(path.c_str(), "r+");
  ASSERT_TRUE(file);
  EXPECT_EQ(BufFilePutString(file.get(), "N"), 1);
  BufFileClose(std::move(file));
  EXPECT_EQ(test_support::ReadBytes(path), "New+tail");
  EXPECT_TRUE(BufFileOpen(temp_.File("made").c_str(), "r+"));
  EXPECT_TRUE(std::filesystem::exists(temp_.File("made")));
}

TEST_F(BufFileTest, OpenFailuresGiveNull) {
  EXPECT_FALSE(BufFileOpen(temp_.File("missing").c_str(), "r"));
  EXPECT_FALSE(BufFileOpen(temp_.File("missing").c_str(), "rb"));
  EXPECT_FALSE(BufFileOpen(temp_.File("no/such/dir").c_str(), "w"));
  EXPECT_FALSE(BufFileOpen(temp_.File("no/such/dir").c_str(), "a"));
  EXPECT_EQ(BufFileClose(nullptr), 0);
}

TEST_F(BufFileTest, ReplacingAFileThatCannotBeWrittenKeepsIt) {
  const std::string path = temp_.Write("kept", "precious");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  // Root may write anything, so the attempt runs as an ordinary user who owns the file.
  test_support::HandOver(temp_.path());
  EXPECT_EQ(test_support::RunUnprivileged(
                [&] { return BufFileOpen(path.c_str(), "w") == nullptr && errno == EACCES; }),
            true);
  EXPECT_EQ(test_support::ReadBytes(path), "precious");
}

TEST_F(BufFileTest, ShortOrFailedWritesAreReportedAsFailure) {
  auto full = BufFileOpen("/dev/full", "wb");
  ASSERT_TRUE(full);
  EXPECT_EQ(BufFilePutString(full.get(), "x"), -1);
  EXPECT_EQ(BufFileWrite(full.get(), "xyz", 3), 0u);

  // A small read-only file is held in memory without a handle: it cannot be written.
  auto memory = BufFileOpen(temp_.Write("m", "abc").c_str(), "r");
  ASSERT_TRUE(memory);
  EXPECT_EQ(BufFileWrite(memory.get(), "x", 1), 0u);
  EXPECT_EQ(BufFilePutString(memory.get(), "x"), -1);

  auto source = BufFileOpen(temp_.Write("src", Pattern(10000)).c_str(), "r");
  ASSERT_TRUE(source);
  EXPECT_EQ(BufFileCopy(full.get(), source.get()), -1);
}

TEST_F(BufFileTest, CopyTakesTheSourceFromItsPositionToItsEnd) {
  const std::string bytes = Pattern(20000);
  auto source = BufFileOpen(temp_.Write("src", bytes).c_str(), "rb");
  auto target = BufFileOpen(temp_.File("dst").c_str(), "wb");
  ASSERT_TRUE(source && target);
  ASSERT_EQ(BufFileSeek(source.get(), 100, 0), 0);
  EXPECT_EQ(BufFileCopy(target.get(), source.get()), 0);
  EXPECT_EQ(BufFileClose(std::move(target)), 0);
  EXPECT_EQ(test_support::ReadBytes(temp_.File("dst")), bytes.substr(100));
}

TEST_F(BufFileTest, ReadErrorIsNotTakenForTheEnd) {
  // Reading a directory's descriptor fails with EISDIR.
  auto file = BufFileOpen(temp_.path().c_str(), "r");
  ASSERT_TRUE(file);
  EXPECT_EQ(BufFileGetByte(file.get()), -1);
  EXPECT_EQ(BufFileError(file.get()), EISDIR);
  std::string line;
  EXPECT_FALSE(BufFileGetLine(file.get(), &line, 80));
  EXPECT_EQ(BufFileReadInt(file.get()), 0);
  char block[100];
  EXPECT_EQ(BufFileRead(file.get(), block, sizeof block), 0u);
  auto target = BufFileOpen(temp_.File("copy").c_str(), "w");
  EXPECT_EQ(BufFileCopy(target.get(), file.get()), -1);
  EXPECT_EQ(BufFileError(file.get()), EISDIR);

  auto plain = BufFileOpen(temp_.Write("p", Pattern(30000)).c_str(), "r");
  while (BufFileGetByte(plain.get()) >= 0) {
  }
  EXPECT_EQ(BufFileError(plain.get()), 0);
}

TEST_F(BufFileTest, NamesAreFoundWithoutCaseAndWithBackslashes) {
  std::filesystem::create_directory(temp_.File("sub"));
  temp_.Write("sub/gds.cfg", "LAYER 1\n");
  for (const char* name : {"sub/GDS.CFG", "sub\\Gds.Cfg", "sub/gds.cfg"}) {
    SCOPED_TRACE(name);
    for (const char* mode : {"r", "r+", "a"}) {
      auto file = BufFileOpen(temp_.File(name).c_str(), mode);
      ASSERT_TRUE(file) << mode;
      ASSERT_EQ(BufFileRewind(file.get()), 0);
      std::string line;
      ASSERT_TRUE(BufFileGetLine(file.get(), &line, 80));
      EXPECT_EQ(line, "LAYER 1");
    }
  }
  // No second file was made under another case.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp_.File("sub")),
                          std::filesystem::directory_iterator()),
            1);
}

// A pipe that delivers its bytes in pieces, with pauses between them.
void WriteInPieces(int fd, const std::string& bytes, size_t piece) {
  for (size_t at = 0; at < bytes.size(); at += piece) {
    std::string_view part = std::string_view(bytes).substr(at, piece);
    if (write(fd, part.data(), part.size()) != static_cast<ssize_t>(part.size())) {
      ADD_FAILURE() << "pipe write failed";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
  }
  close(fd);
}

TEST_F(BufFileTest, NamedPipeWrittenInPiecesIsReadWhole) {
  const std::string path = temp_.File("fifo");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  const std::string bytes = Pattern(30000);
  std::jthread writer([&] { WriteInPieces(open(path.c_str(), O_WRONLY), bytes, 3000); });
  auto file = BufFileOpen(path.c_str(), "r");
  ASSERT_TRUE(file);
  std::string got;
  for (int c = BufFileGetByte(file.get()); c >= 0; c = BufFileGetByte(file.get())) {
    got.push_back(static_cast<char>(c));
  }
  writer.join();
  EXPECT_EQ(BufFileError(file.get()), 0);
  EXPECT_EQ(got, bytes);
}

// Puts a descriptor in place of a standard one for the life of the object.
class ScopedRedirect {
 public:
  ScopedRedirect(int standard, int replacement) : standard_(standard), saved_(dup(standard)) {
    dup2(replacement, standard);
    close(replacement);
  }
  ~ScopedRedirect() {
    dup2(saved_, standard_);
    close(saved_);
  }

 private:
  int standard_;
  int saved_;
};

TEST_F(BufFileTest, StandardInputIsReadWholeAndStaysOpen) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  {
    ScopedRedirect redirect(STDIN_FILENO, fds[0]);
    std::jthread writer([&] { WriteInPieces(fds[1], "first\r\nsecond\nthird", 4); });
    auto file = BufFileOpen(nullptr, "r");
    ASSERT_TRUE(file);
    std::vector<std::string> lines;
    for (std::string line; BufFileGetLine(file.get(), &line, 80);) lines.push_back(line);
    writer.join();
    EXPECT_EQ(lines, (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_EQ(BufFileClose(std::move(file)), 0);
    EXPECT_NE(fcntl(STDIN_FILENO, F_GETFD), -1);
  }
}

TEST_F(BufFileTest, StandardOutputIsWrittenAndStaysOpen) {
  const std::string path = temp_.File("out");
  std::fflush(stdout);
  {
    ScopedRedirect redirect(STDOUT_FILENO, open(path.c_str(), O_WRONLY | O_CREAT, 0600));
    auto file = BufFileOpen(nullptr, "w");
    ASSERT_TRUE(file);
    EXPECT_EQ(BufFilePutString(file.get(), "hello"), 5);
    EXPECT_EQ(BufFileClose(std::move(file)), 0);
    EXPECT_EQ(write(STDOUT_FILENO, "!", 1), 1);
  }
  EXPECT_EQ(test_support::ReadBytes(path), "hello!");
}

}  // namespace
}  // namespace kavrinth
