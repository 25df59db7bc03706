// One job of the engine run in this process with the recording PG library: the counting
// and the real pass, the translated stream, the log, and every failure path.
#include "tabreng/engine.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <numeric>
#include <sstream>
#include <variant>

#include "gdsii/library.h"
#include "platform/process.h"
#include "support/notifier.h"
#include "support/progress_sink.h"
#include "tabreng/header_stream.h"
#include "tabreng/tests/engine_test_support.h"
#include "tabreng/work_arrays.h"
#include "testing/unprivileged.h"

namespace kavrinth {
namespace {

using testing::Layout;
using testing::ReadRecords;
using testing::ScratchJob;
using testing::Square;

constexpr const char* kChipReport =
    "LAYERS_CONTAINING_DATA\n------\n1,2,3,5\n\n"
    "HIERARCHY of INDEPENDENT STRUCTURES\nTOP\n  |__ SUB\nOTHER\n";

// TOP references SUB and OTHER; only TOP and SUB are below TOP in the report.
// Its text, not stroked, is left out of the PG data: every run that makes PG data
// counts it as a warning.
constexpr int32_t kChipTexts = 1;
void WriteChip(const std::string& path, const std::string& unit = "UM") {
  Layout l(path, unit);
  l.Begin("TOP");
  l.Sref("SUB", {0, 0});
  l.Sref("OTHER", {5000, 0});
  l.Boundary(1, Square(0, 0, 1000));
  l.Box(2, Square(2000, 0, 500));
  l.Path(1, 0, 0, {{0, 0}, {500, 0}, {500, 500}});
  l.Path(3, 100, 0, {{0, 0}, {1000, 0}});
  l.Path(3, 100, 2, {{0, 2000}, {1000, 2000}, {1000, 3000}});
  l.Text(1, "LABEL", {10, 10});
  l.End();
  l.Begin("SUB");
  l.Boundary(5, Square(100, 100, 200));
  l.Path(5, 0, 0, {{0, 0}, {0, 900}});
  l.End();
  l.Begin("OTHER");
  l.Boundary(1, Square(0, 0, 10));
  l.End();
  l.Finish();
}

// The element-level outline of a stream: names, element kinds and layers.
std::vector<std::string> Outline(const std::string& path) {
  std::vector<std::string> outline;
  for (const testing::ReadRecord& r : ReadRecords(path)) {
    switch (r.type) {
      case kGdsStrName:
      case kGdsSname:
        outline.push_back(std::string(GdsRecordName(r.type)) + " " + r.text);
        break;
      case kGdsLayer:
        outline.push_back("LAYER " + std::to_string(r.ints.at(0)));
        break;
      case kGdsBoundary:
      case kGdsBox:
      case kGdsPath:
      case kGdsText:
      case kGdsSref:
      case kGdsEndStr:
      case kGdsEndLib:
        outline.emplace_back(GdsRecordName(r.type));
        break;
      default:
        break;
    }
  }
  return outline;
}

class EngineTest : public ::testing::Test {
 public:
  EngineTest() {
    ResetCancelForTesting();
    WriteChip("chip.gds");
    ScratchJob::Write("chip.ssn", kChipReport);
    environment_.program_directory = job_.bin();
    environment_.pg = &pg_;
  }
  ~EngineTest() override {
    SetProgressSink(previous_sink_);
    ResetCancelForTesting();
  }

  int32_t Run(std::vector<std::string> options, const std::string& input = "chip.gds",
              const std::string& layers = "=", const std::string& top = "=") {
    std::vector<std::string> words = {"/opt/bin/tabreng", input, "1.5", layers, top};
    words.insert(words.end(), options.begin(), options.end());
    return RunEngine(words, environment_);
  }

  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const Message& m : notifier_.shown) texts.push_back(m.text);
    return texts;
  }

  bool Sent(const std::string& encoded) const {
    return std::any_of(sink_.lines.begin(), sink_.lines.end(), [&](const ProgressLine& line) {
      return EncodeProgressLine(line) == encoded;
    });
  }

  ScratchJob job_;
  RecordingPgLibrary pg_;
  EngineEnvironment environment_;
  ScriptedNotifier notifier_;
  ScopedNotifier scoped_{&notifier_};
  RecordingProgressSink sink_;
  ProgressSink* previous_sink_ = SetProgressSink(&sink_);
};

TEST_F(EngineTest, CountingPassReturnsTheElementsThatWouldGoToPg) {
  // Two zero-width paths and the outlines of the two wide paths.
  EXPECT_EQ(Run({"-s1.0", "-polycnt"}), 4);
  EXPECT_TRUE(pg_.polygons.empty());
  EXPECT_TRUE(pg_.paths.empty());
  EXPECT_EQ(pg_.order, (std::vector<std::string>{"INIT", "CLOSE"}));
  EXPECT_TRUE(Sent("STATUS 1 Scanning Structure...\n"));
  EXPECT_TRUE(Messages().empty());

  // Boundaries and boxes count too when they go to PG.
  pg_ = RecordingPgLibrary();
  EXPECT_EQ(Run({"-polycnt", "-pg"}), 7);
}

// The counting run cuts the structures into runs counted on several threads, and the
// translate pass reads runs of them on several threads: the count, the translated
// stream, the PG calls, the log, the progress lines and a failure's message are those
// of one thread.
TEST_F(EngineTest, CountingOnThreadsGivesWhatOneThreadGives) {
  // 60 structures below TOP: boundaries, wide and zero-width paths, a width the engine
  // narrows (a warning) in every seventh; an unselected structure among them; the last
  // element of S20 without its ENDEL; with `bad_layer`, a layer beyond 1023 in the 45th,
  // which fails the run there.
  const auto write = [](bool bad_layer) {
    {
      Layout l("many.gds");
      l.Begin("TOP");
      for (int s = 0; s < 60; ++s) l.Sref("S" + std::to_string(s), {0, s * 1000});
      l.End();
      for (int s = 0; s < 60; ++s) {
        if (s == 30) {
          l.Begin("UNUSED");
          l.Boundary(1, Square(0, 0, 70));
          l.End();
        }
        l.Begin("S" + std::to_string(s));
        for (int i = 0; i < 5 + s % 4; ++i) {
          l.Boundary(1 + i % 3, Square(i * 100, 0, 50));
          l.Path(2, i % 2 == 0 ? 20 : 0, i % 3, {{0, i * 10}, {300, i * 10 + 40}, {500, i * 10}});
        }
        if (s % 7 == 3) l.Path(3, INT32_MIN, 0, {{0, 0}, {100, 0}});
        if (bad_layer && s == 45) l.Boundary(2000, Square(0, 0, 10));
        if (s == 20) l.Boundary(3, Square(5, 5, 20));
        l.End();
      }
      l.Finish();
    }
    // S20's last boundary loses its ENDEL: it runs into the ENDSTR.
    std::string bytes = ScratchJob::Read("many.gds");
    const size_t s20 = bytes.find(std::string("\x06\x06S20", 5));
    ASSERT_NE(s20, std::string::npos);
    const size_t end = bytes.find(std::string("\x00\x04\x11\x00\x00\x04\x07\x00", 8), s20);
    ASSERT_NE(end, std::string::npos);
    bytes.erase(end, 4);
    ScratchJob::Write("many.gds", bytes);
    std::string report =
        "LAYERS_CONTAINING_DATA\n--\n1,2,3\n\nHIERARCHY of INDEPENDENT STRUCTURES\nTOP\n";
    for (int s = 0; s < 60; ++s) report += "  |__ S" + std::to_string(s) + "\n";
    ScratchJob::Write("many.ssn", report);
  };
  struct Outcome {
    int32_t result = 0;
    std::string log;
    std::vector<std::string> progress, messages;
    std::string stream;
    std::vector<std::string> calls;
    size_t prepared = 0;  // PG calls handed trapezoids worked out ahead
  };
  const auto outcome_of = [&](int32_t result) {
    Outcome outcome;
    outcome.result = result;
    outcome.log = ScratchJob::Read("many.log");
    for (const ProgressLine& line : sink_.lines)
      outcome.progress.push_back(EncodeProgressLine(line));
    outcome.messages = Messages();
    return outcome;
  };
  const auto run = [&](int threads) {
    environment_.threads = threads;
    sink_.lines.clear();
    notifier_.shown.clear();
    return outcome_of(Run({"-polycnt", "-pg"}, "many.gds"));
  };
  const auto translate = [&](int threads) {
    environment_.threads = threads;
    sink_.lines.clear();
    notifier_.shown.clear();
    pg_ = RecordingPgLibrary();
    pg_.prepares = true;
    Outcome outcome = outcome_of(Run({"-pg", "-opost", "-polycnt:900"}, "many.gds"));
    outcome.stream = ScratchJob::Read("many.gdx");
    outcome.prepared = pg_.prepared_taken;
    outcome.calls = testing::PgCallTexts(pg_, false);
    return outcome;
  };
  for (bool bad_layer : {false, true}) {
    SCOPED_TRACE(bad_layer);
    write(bad_layer);
    const Outcome one = run(1);
    std::remove("many.gdx");
    const Outcome one_translated = translate(1);
    if (bad_layer) {
      EXPECT_EQ(one.result, -1);
      ASSERT_EQ(one.messages.size(), 1u);
      EXPECT_NE(one.messages[0].find("Layer 2000 in structure S45"), std::string::npos);
      EXPECT_EQ(one_translated.result, -1);
      EXPECT_EQ(one_translated.messages, one.messages);
      EXPECT_TRUE(one_translated.stream.empty());
      EXPECT_GT(pg_.polygons.size(), 300u);
    } else {
      EXPECT_GT(one.result, 600);
      EXPECT_NE(one.log.find("Warning: a width of -2147483648"), std::string::npos);
      EXPECT_GT(one_translated.result, 0);
      EXPECT_NE(one_translated.log.find("Warning: a width of -2147483648"), std::string::npos);
      EXPECT_GT(one_translated.stream.size(), 20000u);
      EXPECT_NE(one_translated.stream.find("S59"), std::string::npos);
    }
    for (int threads : {2, 5, 8}) {
      SCOPED_TRACE(threads);
      const Outcome many = run(threads);
      EXPECT_EQ(many.result, one.result);
      EXPECT_EQ(many.log, one.log);
      EXPECT_EQ(many.progress, one.progress);
      EXPECT_EQ(many.messages, one.messages);
      const Outcome translated = translate(threads);
      EXPECT_EQ(translated.result, one_translated.result);
      EXPECT_TRUE(translated.stream == one_translated.stream) << "the translated streams differ";
      EXPECT_TRUE(translated.calls == one_translated.calls) << "the PG calls differ";
      EXPECT_EQ(translated.log, one_translated.log);
      EXPECT_EQ(translated.progress, one_translated.progress);
      EXPECT_EQ(translated.messages, one_translated.messages);
      EXPECT_EQ(translated.prepared, pg_.polygons.size());
    }
    // Where the user may start no more threads, the passes run on this one instead.
    test_support::HandOver(job_.path());
    EXPECT_EQ(test_support::RunUnprivileged([&] {
                if (!test_support::ForbidNewThreads()) return false;
                const Outcome many = run(8);
                const Outcome translated = translate(8);
                return many.result == one.result && many.log == one.log &&
                       many.progress == one.progress && many.messages == one.messages &&
                       translated.result == one_translated.result &&
                       translated.stream == one_translated.stream &&
                       translated.calls == one_translated.calls &&
                       translated.log == one_translated.log &&
                       translated.progress == one_translated.progress &&
                       translated.messages == one_translated.messages;
              }),
              true);
  }
}

TEST_F(EngineTest, ThePercentageShowsEachValueItReachesOnce) {
  // Seven elements go to PG; the expected count decides the steps.
  struct Case {
    std::string expected;
    std::vector<std::string> percentages;
  } cases[] = {
      {"7", {"14%", "28%", "42%", "57%", "71%", "85%", "100%"}},
      {"3", {"33%", "66%", "100%"}},
      {"200", {"0%", "1%", "2%", "3%"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    sink_.lines.clear();
    pg_ = RecordingPgLibrary();
    ASSERT_EQ(Run({"-pg", "-opost", "-polycnt:" + c.expected}), kChipTexts);
    ASSERT_EQ(pg_.polygons.size() + pg_.paths.size(), 7u);
    std::vector<std::string> shown;
    for (const ProgressLine& line : sink_.lines) {
      const std::string text = EncodeProgressLine(line);
      if (text.rfind("TEXT 2 ", 0) == 0 && text.find('%') != std::string::npos) {
        shown.push_back(text.substr(7, text.size() - 8));
      }
    }
    EXPECT_EQ(shown, c.percentages);
  }
}

TEST_F(EngineTest, RealPassHandsOffAndWritesTheTranslatedStream) {
  pg_.close_warnings = 2;
  pg_.close_errors = 1;
  ASSERT_EQ(Run({"-s1.0", "-polycnt:4", "-opost"}), 3 + kChipTexts);
  EXPECT_TRUE(Messages().empty()) << Messages()[0];

  // PG_INIT gets the command line's values; then the paths in file order.
  ASSERT_TRUE(pg_.init);
  EXPECT_EQ(pg_.init->scale, 1.0);
  EXPECT_EQ(pg_.init->feature_size, 1.5);
  EXPECT_EQ(pg_.init->o, -1);
  EXPECT_EQ(pg_.order, (std::vector<std::string>{"INIT", "PATH", "PG", "PG", "PATH", "CLOSE"}));
  ASSERT_EQ(pg_.paths.size(), 2u);
  EXPECT_EQ(pg_.paths[0].points, (std::vector<int32_t>{0, 0, 500, 0, 500, 500}));
  EXPECT_EQ(pg_.paths[0].name, "TOP");
  EXPECT_EQ(pg_.paths[1].name, "SUB");
  EXPECT_DOUBLE_EQ(pg_.paths[0].fixup, 0.001);  // a micron user unit is metric
  ASSERT_EQ(pg_.polygons.size(), 2u);
  EXPECT_EQ(pg_.polygons[0].points,
            (std::vector<int32_t>{0, 50, 1000, 50, 1000, -50, 0, -50, 0, 50}));
  // The square-ended path reaches half its width beyond its ends; its turn is mitred.
  EXPECT_EQ(pg_.polygons[1].points,
            (std::vector<int32_t>{-50, 2050, 950, 2050, 950, 3050, 1000, 3050, 1050, 3050, 1050,
                                  1950, -50, 1950, -50, 2050}));

  EXPECT_EQ(Outline("chip.gdx"),
            (std::vector<std::string>{
                "STRNAME TOP", "SREF", "SNAME SUB", "BOUNDARY", "LAYER 1",     "BOX",
                "LAYER 2",     "PATH", "LAYER 1",   "BOUNDARY", "LAYER 3",     "BOUNDARY",
                "LAYER 3",     "TEXT", "LAYER 1",   "ENDSTR",   "STRNAME SUB", "BOUNDARY",
                "LAYER 5",     "PATH", "LAYER 5",   "ENDSTR",   "ENDLIB"}));
  // Each trapezoid comes back as the boundary of its corners in database units.
  const std::vector<testing::ReadRecord> records = ReadRecords("chip.gdx");
  const auto first_trapezoid = std::find_if(records.begin(), records.end(), [](const auto& r) {
    return r.type == kGdsLayer && r.ints[0] == 3;
  });
  ASSERT_NE(first_trapezoid, records.end());
  EXPECT_EQ((first_trapezoid + 2)->ints,
            (std::vector<int32_t>{0, -50, 1000, -50, 1000, 50, 0, 50, 0, -50}));

  // The stream up to UNITS is the input's, and the file is padded to 2048 bytes.
  const std::string input = ScratchJob::Read("chip.gds");
  const std::string output = ScratchJob::Read("chip.gdx");
  EXPECT_EQ(output.size() % 2048, 0u);
  const size_t units = records[3].bytes.size();
  ASSERT_EQ(records[3].type, kGdsUnits);
  const size_t prefix =
      records[0].bytes.size() + records[1].bytes.size() + records[2].bytes.size() + units;
  EXPECT_EQ(output.substr(0, prefix), input.substr(0, prefix));

  const std::string log = ScratchJob::Read("chip.log");
  EXPECT_EQ(log.substr(0, 60),
            std::string("\r\n\r\nTranslation Options:\r\n  /opt/bin/tabreng\r\n  chip.gds\r\n  1.5")
                .substr(0, 60));
  EXPECT_NE(log.find("  -polycnt:4\r\n  -opost\r\n"), std::string::npos);
  EXPECT_NE(log.find("\r\n\r\nTop Structure Selected: TOP\r\n\r\nTOP\r\nSUB\r\n\r\n"),
            std::string::npos);
  // The library's two warnings and the text left out.
  EXPECT_NE(log.find("\r\n\r\n3 warning(s) and 1 error(s) are detected in the translations.\r\n"),
            std::string::npos);

  EXPECT_TRUE(Sent("STATUS 1 Translating Structure...\n"));
  EXPECT_TRUE(Sent("STATUS 2 SUB\n"));
  EXPECT_TRUE(Sent("TEXT 2 100%\n"));
  EXPECT_TRUE(Sent("TEXT 1 Generating INT Data...\n"));
  EXPECT_TRUE(Sent("LIST-ADD 5\n"));
}

TEST_F(EngineTest, AnUnselectedStructureLeavesTheStructuresAfterItWhole) {
  // OTHER is not below TOP: it is left out of the translated stream, and SUB after it
  // keeps its BGNSTR.
  {
    Layout l("order.gds");
    l.Begin("TOP");
    l.Sref("SUB", {0, 0});
    l.Boundary(1, Square(0, 0, 1000));
    l.End();
    l.Begin("OTHER");
    l.Boundary(1, Square(0, 0, 10));
    l.End();
    l.Begin("SUB");
    l.Boundary(5, Square(100, 100, 200));
    l.End();
    l.Finish();
  }
  ScratchJob::Write("order.ssn",
                    "LAYERS_CONTAINING_DATA\n--\n1,5\n\n"
                    "HIERARCHY of INDEPENDENT STRUCTURES\nTOP\n  |__ SUB\nOTHER\n");
  for (int threads : {1, 4}) {
    SCOPED_TRACE(threads);
    environment_.threads = threads;
    ASSERT_GE(Run({"-opost"}, "order.gds"), 0);
    std::vector<std::string> framing;
    for (const testing::ReadRecord& r : ReadRecords("order.gdx")) {
      if (r.type == kGdsBgnStr || r.type == kGdsEndStr || r.type == kGdsEndLib) {
        framing.emplace_back(GdsRecordName(r.type));
      } else if (r.type == kGdsStrName) {
        framing.push_back("STRNAME " + r.text);
      }
    }
    EXPECT_EQ(framing, (std::vector<std::string>{"BGNSTR", "STRNAME TOP", "ENDSTR", "BGNSTR",
                                                 "STRNAME SUB", "ENDSTR", "ENDLIB"}));
  }
}

TEST_F(EngineTest, GdsQualifyMakesStructureNamesPlainInTheStreamAndThePgNames) {
  // Names with characters outside letters, digits, '$' and '_'; the report draws them as
  // they stand. GDSQUALIFY is on unless GDS.CFG turns it off.
  Layout l("odd.gds");
  l.Begin("TOP-1");
  l.Sref("SUB.A", {0, 0});
  l.Path(1, 0, 0, {{0, 0}, {500, 0}});
  l.End();
  l.Begin("SUB.A");
  l.Path(1, 0, 0, {{0, 0}, {0, 900}});
  l.End();
  l.Finish();
  ScratchJob::Write("odd.ssn",
                    "LAYERS_CONTAINING_DATA\n------\n1\n\n"
                    "HIERARCHY of INDEPENDENT STRUCTURES\nTOP-1\n  |__ SUB.A\n");
  struct Case {
    const char* settings;
    std::vector<std::string> outline;
    std::vector<std::string> pg_names;
  };
  const Case cases[] = {
      {"",
       {"STRNAME TOP_1", "SREF", "SNAME SUB_A", "PATH", "LAYER 1", "ENDSTR", "STRNAME SUB_A",
        "PATH", "LAYER 1", "ENDSTR", "ENDLIB"},
       {"TOP_1", "SUB_A"}},
      {"GDSQUALIFY\nOFF\n",
       {"STRNAME TOP-1", "SREF", "SNAME SUB.A", "PATH", "LAYER 1", "ENDSTR", "STRNAME SUB.A",
        "PATH", "LAYER 1", "ENDSTR", "ENDLIB"},
       {"TOP-1", "SUB.A"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings);
    ScratchJob::Write("GDS.CFG", c.settings);
    pg_.paths.clear();
    ASSERT_EQ(Run({"-s1.0", "-opost"}, "odd.gds"), 0) << (Messages().empty() ? "" : Messages()[0]);
    EXPECT_EQ(Outline("odd.gdx"), c.outline);
    std::vector<std::string> names;
    for (const auto& path : pg_.paths) names.push_back(path.name);
    EXPECT_EQ(names, c.pg_names);
    // The layer's output name in the header stream starts with the top's first six.
    const std::string output_name = c.pg_names[0] + "01.gbr";
    EXPECT_NE(ScratchJob::Read("odd.hdx").find(output_name), std::string::npos) << output_name;
  }
}

TEST_F(EngineTest, TheSettingsFileNamedIsReadAndAnotherSpellingOfItIsOnlyLogged) {
  // GDS.CFG left by an earlier run turns the name qualification off; gds.cfg, the file
  // just written, leaves it on. Whichever is named is read; the other is named in the log.
  Layout l("odd.gds");
  l.Begin("TOP-1");
  l.Path(1, 0, 0, {{0, 0}, {500, 0}});
  l.End();
  l.Finish();
  ScratchJob::Write("odd.ssn",
                    "LAYERS_CONTAINING_DATA\n------\n1\n\n"
                    "HIERARCHY of INDEPENDENT STRUCTURES\nTOP-1\n");
  ScratchJob::Write("GDS.CFG", "GDSQUALIFY\nOFF\n");
  ScratchJob::Write("gds.cfg", "GDSQUALIFY\nON\n");
  struct Case {
    std::vector<std::string> options;
    std::string pg_name;
    std::string log_line;
  };
  const Case cases[] = {
      {{"-s1.0", "-opost", "-cfg:gds.cfg"},
       "TOP_1",
       "\r\nSettings file 'GDS.CFG' is not read: the settings are read from 'gds.cfg'.\r\n"},
      {{"-s1.0", "-opost"},
       "TOP-1",
       "\r\nSettings file 'gds.cfg' is not read: the settings are read from 'GDS.CFG'.\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pg_name);
    pg_.paths.clear();
    ASSERT_EQ(Run(c.options, "odd.gds"), 0) << (Messages().empty() ? "" : Messages()[0]);
    ASSERT_FALSE(pg_.paths.empty());
    EXPECT_EQ(pg_.paths[0].name, c.pg_name);
    EXPECT_NE(ScratchJob::Read("odd.log").find(c.log_line), std::string::npos)
        << ScratchJob::Read("odd.log");
  }
  // With one spelling only, the log says nothing of it.
  std::filesystem::remove("GDS.CFG");
  ASSERT_EQ(Run({"-s1.0", "-opost", "-cfg:gds.cfg"}, "odd.gds"), 0);
  EXPECT_EQ(ScratchJob::Read("odd.log").find("Settings file"), std::string::npos);
}

TEST_F(EngineTest, MilUnitsGiveFixupInMils) {
  WriteChip("mil.gds", "MIL");
  ScratchJob::Write("mil.ssn", kChipReport);
  ASSERT_EQ(Run({"-opost"}, "mil.gds"), kChipTexts);
  ASSERT_FALSE(pg_.paths.empty());
  // A database unit of 0.001 mil.
  EXPECT_DOUBLE_EQ(pg_.paths[0].fixup, 0.001);
  EXPECT_EQ(pg_.polygons.size(), 2u);
}

TEST_F(EngineTest, HandOffModeReplacesBoundariesAndBoxesByTrapezoids) {
  pg_.tables.push_back({PgTrapezoid{{0, 0, 1000, 0, 1000, 500, 0, 500}},
                        PgTrapezoid{{0, 500, 1000, 500, 1000, 1000, 0, 1000}}});
  ASSERT_EQ(Run({"-pg", "-opost"}), kChipTexts);
  // The boundary of TOP, its box, the two path outlines, SUB's boundary.
  ASSERT_EQ(pg_.polygons.size(), 5u);
  EXPECT_EQ(pg_.polygons[0].points,
            (std::vector<int32_t>{0, 0, 1000, 0, 1000, 1000, 0, 1000, 0, 0}));
  const std::vector<std::string> outline = Outline("chip.gdx");
  EXPECT_EQ(std::count(outline.begin(), outline.end(), "BOX"), 0);
  // Two trapezoids for the first boundary, one for each other polygon.
  EXPECT_EQ(std::count(outline.begin(), outline.end(), "BOUNDARY"), 6);
}

TEST_F(EngineTest, LayerSelectionDropsElements) {
  ASSERT_EQ(Run({"-opost", "-x3"}), kChipTexts);
  EXPECT_TRUE(pg_.polygons.empty());
  EXPECT_EQ(pg_.paths.size(), 2u);

  pg_ = RecordingPgLibrary();
  ASSERT_EQ(Run({"-opost"}, "chip.gds", "1"), kChipTexts);
  EXPECT_EQ(pg_.paths.size(), 1u);
  const std::vector<std::string> outline = Outline("chip.gdx");
  EXPECT_EQ(std::count(outline.begin(), outline.end(), "LAYER 5"), 0);
  EXPECT_EQ(std::count(outline.begin(), outline.end(), "LAYER 2"), 0);
  EXPECT_EQ(std::count(outline.begin(), outline.end(), "LAYER 1"), 3);
}

// The stand-in post-processor of the tests in place of libquenrix.so.
void InstallFakePostProcessor(const std::string& bin) {
  std::filesystem::copy_file(TABRENG_FAKE_QUENRIX, bin + "/libquenrix.so",
                             std::filesystem::copy_options::overwrite_existing);
}

// The lines the stand-in post-processor wrote about its call, or none.
std::vector<std::string> PostProcessorCall() {
  std::vector<std::string> lines;
  std::istringstream in(ScratchJob::Read("quenrix_call.txt"));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class PostProcessorTest : public EngineTest {
 public:
  PostProcessorTest() { InstallFakePostProcessor(job_.bin()); }
  ~PostProcessorTest() override {
    unsetenv("TABRENG_FAKE_RESULT");
    unsetenv("TABRENG_FAKE_CANCEL");
  }
  std::string Library() const { return job_.bin() + "/libquenrix.so"; }
};

TEST_F(PostProcessorTest, GetsTheHeaderStreamAndItsResultCountsAsWarnings) {
  setenv("TABRENG_FAKE_RESULT", "7", 1);
  pg_.close_warnings = 2;
  pg_.close_errors = 1;
  EXPECT_EQ(Run({"-polycnt:4"}), 10 + kChipTexts);
  EXPECT_EQ(PostProcessorCall(), (std::vector<std::string>{
                                     "argc 2", "argv " + Library(), "argv chip.hdx",
                                     "terminated yes", "window 0", "cancel 0", "header readable"}));
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(Sent("TEXT 1 Generating INT Data...\n"));
  EXPECT_FALSE(ScratchJob::Exists("chip.gdx"));
  EXPECT_FALSE(ScratchJob::Exists("chip.hdx"));
  // The totals count the library's, the post-processor's and the engine's own warnings.
  EXPECT_NE(ScratchJob::Read("chip.log").find("10 warning(s) and 1 error(s)"), std::string::npos);
}

// The totals line counts every warning the result counts, the engine's own (here the text
// left out of the PG data) among them, so that it adds up to the result.
TEST_F(PostProcessorTest, TheTotalsLineAddsUpToTheResult) {
  struct Case {
    const char* name;
    int32_t pg_warnings, pg_errors;
    const char* post_processor_result;  // nullptr: -opost
    int32_t result;
    const char* totals;
  };
  const Case cases[] = {
      {"the engine's own only", 0, 0, nullptr, kChipTexts, "1 warning(s) and 0 error(s)"},
      {"with the library's", 2, 1, nullptr, 3 + kChipTexts, "3 warning(s) and 1 error(s)"},
      {"with the post-processor's", 2, 0, "4", 6 + kChipTexts, "7 warning(s) and 0 error(s)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pg_.close_warnings = c.pg_warnings;
    pg_.close_errors = c.pg_errors;
    if (c.post_processor_result != nullptr)
      setenv("TABRENG_FAKE_RESULT", c.post_processor_result, 1);
    EXPECT_EQ(Run(c.post_processor_result != nullptr ? std::vector<std::string>{}
                                                     : std::vector<std::string>{"-opost"}),
              c.result);
    const std::string log = ScratchJob::Read("chip.log");
    EXPECT_NE(
        log.find("\r\n\r\n" + std::string(c.totals) + " are detected in the translations.\r\n"),
        std::string::npos)
        << log;
    unsetenv("TABRENG_FAKE_RESULT");
  }
}

TEST_F(PostProcessorTest, DebugOptionsArePassedOnAndDbgxKeepsTheStreams) {
  ASSERT_EQ(Run({"-dbg"}), kChipTexts);
  EXPECT_EQ(PostProcessorCall().at(3), "argv -debug");
  EXPECT_FALSE(ScratchJob::Exists("chip.hdx"));
  ASSERT_EQ(Run({"-dbgx"}), kChipTexts);
  EXPECT_EQ(PostProcessorCall().at(3), "argv -debugx");
  EXPECT_TRUE(ScratchJob::Exists("chip.gdx"));
  EXPECT_TRUE(ScratchJob::Exists("chip.hdx"));
}

TEST_F(PostProcessorTest, NotCalledInTheCountingPass) {
  EXPECT_EQ(Run({"-polycnt"}), 4);
  EXPECT_FALSE(ScratchJob::Exists("quenrix_call.txt"));
  EXPECT_FALSE(ScratchJob::Exists("chip.gdx"));
  EXPECT_FALSE(ScratchJob::Exists("chip.hdx"));
}

TEST_F(PostProcessorTest, ANegativeResultFailsTheJobWithoutAMessage) {
  setenv("TABRENG_FAKE_RESULT", "-3", 1);
  EXPECT_EQ(Run({}), -1);
  EXPECT_TRUE(Messages().empty());
  const std::string log = ScratchJob::Read("chip.log");
  // The totals count the failure, and stand before it.
  const size_t totals = log.find(" warning(s) and 1 error(s) are detected in the translations.");
  EXPECT_NE(totals, std::string::npos) << log;
  EXPECT_EQ(log.find(" 0 error(s)"), std::string::npos) << log;
  EXPECT_GT(log.find("The post processor failed with the result -3."), totals) << log;
  EXPECT_NE(log.find("The post processor failed with the result -3."), std::string::npos);
  EXPECT_FALSE(ScratchJob::Exists("chip.gdx"));
}

TEST_F(PostProcessorTest, CancelFromThePostProcessorWinsOverItsResult) {
  setenv("TABRENG_FAKE_RESULT", "5", 1);
  setenv("TABRENG_FAKE_CANCEL", "1", 1);
  EXPECT_EQ(Run({}), CancelledExitCode);
}

// Stopped by the Cancel, the post-processor has not failed: the log says it was cancelled.
TEST_F(PostProcessorTest, AFailureForTheCancelIsLoggedAsTheCancel) {
  setenv("TABRENG_FAKE_RESULT", "-1", 1);
  setenv("TABRENG_FAKE_CANCEL", "1", 1);
  EXPECT_EQ(Run({}), CancelledExitCode);
  EXPECT_TRUE(ScratchJob::Exists("quenrix_call.txt"));
  const std::string log = ScratchJob::Read("chip.log");
  EXPECT_NE(log.find("The translation was cancelled."), std::string::npos) << log;
  EXPECT_EQ(log.find("post processor failed"), std::string::npos) << log;
}

TEST_F(PostProcessorTest, ALibraryThatCannotBeLoadedLeavesTheStreams) {
  struct Case {
    const char* name;
    std::function<void(const std::string& library)> arrange;
    std::string message;
  };
  const Case cases[] = {
      {"not a library", [](auto& library) { ScratchJob::Write(library, "not a library"); },
       "Error occurred in loading library '{lib}'."},
      {"no entry",
       [](auto& library) {
         std::filesystem::copy_file(std::string(KAVRINTH_BIN_DIR) + "/libvantor.so", library,
                                    std::filesystem::copy_options::overwrite_existing);
       },
       "Error occurred in loading function in library '{lib}'."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchJob job;
    WriteChip("chip.gds");
    ScratchJob::Write("chip.ssn", kChipReport);
    environment_.program_directory = job.bin();
    const std::string library = job.bin() + "/libquenrix.so";
    c.arrange(library);
    notifier_.shown.clear();
    EXPECT_EQ(Run({}), -1);
    std::string message = c.message;
    message.replace(message.find("{lib}"), 5, library);
    EXPECT_EQ(Messages(), std::vector<std::string>{message});
    EXPECT_NE(ScratchJob::Read("chip.log").find(message), std::string::npos);
    EXPECT_TRUE(ScratchJob::Exists("chip.gdx"));
    EXPECT_TRUE(ScratchJob::Exists("chip.hdx"));
  }
}

// The header stream as the post-processor reads it: one line per element.
std::vector<std::string> HeaderEntries(const std::string& path, GdsLibrary* library) {
  std::string error;
  EXPECT_EQ(GdsReadLibrary(path, library, &error), 0) << error;
  std::vector<std::string> entries;
  for (const GdsElement& e : library->elements) {
    std::ostringstream line;
    if (e.kind == kGdsExtNamedSetting) {
      line << e.text << "=";
      std::visit([&](const auto& value) { line << value; }, e.SettingValue());
      if (e.setting_kind != kGdsSettingText) line << " (" << e.setting_kind << ")";
    } else if (e.kind == kGdsExtLayerFile) {
      line << "layer " << e.uinteger << " " << e.ustring;
    } else if (e.kind == kGdsExtAperture) {
      line << "aperture " << e.uinteger << " " << e.ustring << " " << e.elflags << " " << e.pathtype
           << " " << e.mags.at(0) << " " << e.mags.at(1);
    }
    entries.push_back(line.str());
  }
  return entries;
}

TEST_F(PostProcessorTest, TheHeaderStreamCarriesTheSettingsLayersAndApertures) {
  ScratchJob::Write("GDS.CFG",
                    "MIN_LINE\n0.5\n\nMAP_CIRCLE\nON\n\nGERBER\napt.cfg\n"
                    "\nREFLIBS\nlib.one\nlib.two\n");
  ScratchJob::Write("apt.cfg", "ETCH 0.25\nD10 a F ROUND 1.5\nD11 b D ROUND 2\nFTEXT D44\n");
  ASSERT_EQ(Run({"-s2.5"}, "chip.gds", "1,5", "TOP"), 0);
  GdsLibrary header;
  const std::vector<std::string> expected = {"$TOPSTR$=TOP",
                                             "GBR$POLYFILL=0 (3)",
                                             "GBR$LCLFILL=1 (3)",
                                             "GBR$ETCH=0.25 (2)",
                                             "GBR$PRESCL=1 (3)",
                                             "GBR$MAPCIR=1 (3)",
                                             "GBR$UNIT=1 (3)",
                                             "GBR$FMT1=2 (3)",
                                             "GBR$FMT2=4 (3)",
                                             "GBR$SCAL=1 (3)",
                                             "GBR$CR=0 (3)",
                                             "GBR$LEAD=0 (3)",
                                             "GBR$CIRC=0 (3)",
                                             "ARCRES=4 (2)",
                                             "GBR$TEXT=0 (3)",
                                             "GBR$FTEXT=44 (3)",
                                             "GBR$TEXTSCALE=0.142857 (2)",
                                             "GBR$FTEXTSCALE=0.02 (2)",
                                             "GBR$LINE=10 (3)",
                                             "GBR$TRACE$=0 (3)",
                                             "GBR$OUTLN0=1 (3)",
                                             "GBR$OUTLN1=10 (3)",
                                             "GBR$OUTLN2=10 (3)",
                                             "GBR$START$=10 (3)",
                                             "GBR$MLT$=1 (2)",
                                             "GBR$XOFF=0 (2)",
                                             "GBR$YOFF=0 (2)",
                                             "GBR$STYLE=0 (3)",
                                             "GBR$FLOAT0=1 (3)",
                                             "GBR$EXCLD0=0 (3)",
                                             "layer 1 TOP01.gbr",
                                             "layer 5 TOP05.gbr",
                                             "GBR$NOAPTS=2 (3)",
                                             "aperture 10 a 0 0 1.5 0",
                                             "aperture 11 b 1 0 2 0",
                                             "GBR$UNIT=3 (3)",
                                             "PG$SCALE=2.5 (2)",
                                             "$FIXUP$=1 (2)",
                                             "$JUMP$=chip.gdx"};
  const std::vector<std::string> entries = HeaderEntries("quenrix_header.copy", &header);
  // Compared in two halves, so that a difference shows in the message.
  ASSERT_EQ(entries.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(entries.begin(), entries.begin() + 30),
            std::vector<std::string>(expected.begin(), expected.begin() + 30));
  EXPECT_EQ(std::vector<std::string>(entries.begin() + 30, entries.end()),
            std::vector<std::string>(expected.begin() + 30, expected.end()));
  // Written before the input's units were known: "USER" of size 0.
  EXPECT_EQ(header.user_units_per_database_unit, 0);
  EXPECT_EQ(header.metres_per_database_unit, 0);
  EXPECT_EQ(header.reflibs, (std::vector<std::string>{"lib.one", "lib.two"}));
  EXPECT_TRUE(header.structures.empty());

  // A mil user unit gives GBR$UNIT 1 at the end; without -s there is no PG$SCALE.
  WriteChip("mil.gds", "MIL");
  ScratchJob::Write("mil.ssn", kChipReport);
  ASSERT_EQ(Run({}, "mil.gds"), 0);
  const std::vector<std::string> mil = HeaderEntries("quenrix_header.copy", &header);
  EXPECT_EQ(std::vector<std::string>(mil.end() - 3, mil.end()),
            (std::vector<std::string>{"GBR$UNIT=1 (3)", "$FIXUP$=1 (2)", "$JUMP$=mil.gdx"}));
}

TEST(LayerOutputNames, FirstSixCharactersOfTheTopAndTwoDigits) {
  EXPECT_EQ(LayerOutputName("CHIPTOP", 5), "CHIPTO05.gbr");
  EXPECT_EQ(LayerOutputName("CHIPTOP", 123), "CHIPTO123.gbr");
  EXPECT_EQ(LayerOutputName("AB", 10), "AB10.gbr");
}

TEST_F(EngineTest, LogGoesIntoTheErrorFileWithStderr) {
  ASSERT_EQ(Run({"-opost", "-stderr", "first.txt"}), kChipTexts);
  EXPECT_FALSE(ScratchJob::Exists("chip.log"));
  EXPECT_TRUE(ScratchJob::Exists("first.txt"));
  EXPECT_NE(ScratchJob::Read("chip.err").find("Translation Options:"), std::string::npos);
}

// Cancels the run at the first polygon.
class CancellingPg : public RecordingPgLibrary {
 public:
  int32_t Polygon(const int32_t* points, int32_t count, PgTrapezoid* table, int32_t capacity,
                  double fixup, const char* name) override {
    RequestCancel();
    return RecordingPgLibrary::Polygon(points, count, table, capacity, fixup, name);
  }
};

TEST_F(EngineTest, CancelEndsWithTheCancelledResultAndStillClosesPg) {
  CancellingPg pg;
  environment_.pg = &pg;
  EXPECT_EQ(Run({"-polycnt:4"}), CancelledExitCode);
  EXPECT_EQ(pg.close_calls, 1);
  EXPECT_EQ(pg.polygons.size(), 1u);
  EXPECT_NE(ScratchJob::Read("chip.log").find("The translation was cancelled."), std::string::npos);
  EXPECT_FALSE(ScratchJob::Exists("chip.gdx"));
  EXPECT_FALSE(ScratchJob::Exists("chip.hdx"));
}

TEST_F(EngineTest, ReturnedEntryCountIsTrustedOnlyWithinTheTable) {
  pg_.forced_result = -5;
  ASSERT_EQ(Run({"-opost"}), 2 + kChipTexts);  // one counted warning per polygon
  const std::string log = ScratchJob::Read("chip.log");
  size_t warnings = 0;
  for (size_t at = log.find("Warning: "); at != std::string::npos;
       at = log.find("Warning: ", at + 1)) {
    ++warnings;
  }
  EXPECT_EQ(warnings, 2u + kChipTexts);
  const std::vector<std::string> outline = Outline("chip.gdx");
  EXPECT_EQ(std::count(outline.begin(), outline.end(), "LAYER 3"), 0);

  pg_ = RecordingPgLibrary();
  pg_.forced_result = kPgTableCapacity + 1;
  ASSERT_EQ(Run({"-opost"}), 2 + kChipTexts);
  const std::vector<std::string> full = Outline("chip.gdx");
  EXPECT_EQ(std::count(full.begin(), full.end(), "LAYER 3"), 2 * kPgTableCapacity);
}

TEST_F(EngineTest, PruneRemovesStructuresWithNothingCountedAndRepeats) {
  {
    Layout l("prune.gds");
    l.Begin("TOP");
    l.Sref("EMPTY", {0, 0});
    l.Boundary(1, Square(0, 0, 10));
    l.End();
    l.Begin("EMPTY");
    l.Path(1, 20, 0, {{0, 0}, {100, 0}});
    l.End();
    l.Finish();
  }
  ScratchJob::Write("prune.ssn", "HIERARCHY of INDEPENDENT STRUCTURES\nTOP\n  |__ EMPTY\n");
  ASSERT_EQ(Run({"-opost", "-prune"}, "prune.gds"), 0);
  EXPECT_EQ(Outline("prune.gdx"),
            (std::vector<std::string>{"STRNAME TOP", "BOUNDARY", "LAYER 1", "ENDSTR", "ENDLIB"}));
  // The path went to PG in the first run only.
  EXPECT_EQ(pg_.polygons.size(), 1u);
  // Where the user may start no more threads, the stream a repeat replaces is removed on
  // the engine's own thread.
  const std::string pruned = ScratchJob::Read("prune.gdx");
  const auto only_the_stream = [] {
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with("prune.gdx") && name != "prune.gdx") return false;
    }
    return true;
  };
  test_support::HandOver(job_.path());
  EXPECT_EQ(test_support::RunUnprivileged([&] {
              return test_support::ForbidNewThreads() &&
                     Run({"-opost", "-prune"}, "prune.gds") == 0 &&
                     ScratchJob::Read("prune.gdx") == pruned && only_the_stream();
            }),
            true);
}

TEST_F(EngineTest, ScanModeListsUnitsWidthsAndCircles) {
  {
    Layout l("scan.gds");
    l.Begin("TOP");
    testing::Points circle;
    for (int i = 0; i <= 32; ++i) {
      const double angle = 2 * 3.141592653589793 * (i % 32) / 32;
      circle.push_back({static_cast<int32_t>(std::lround(50000 * std::cos(angle))),
                        static_cast<int32_t>(std::lround(50000 * std::sin(angle)))});
    }
    l.Boundary(1, circle);
    l.Path(1, 250, 0, {{0, 0}, {100, 0}});
    l.End();
    l.Finish();
  }
  ScratchJob::Write("scan.ssn", "HIERARCHY of INDEPENDENT STRUCTURES\nTOP\n");
  ASSERT_EQ(Run({"-scan"}, "scan.gds"), 0);
  const std::string log = ScratchJob::Read("scan.log");
  EXPECT_NE(log.find("U:0.001 1e-09 1e-06\nI:3.93701e-05\nM:0.001\n"), std::string::npos);
  EXPECT_NE(log.find("# a 0.00787402 draw in inches, or a 0.2 draw in mm.\n"), std::string::npos);
  EXPECT_NE(log.find("W:250\n"), std::string::npos);
  const size_t circle = log.find("\nC:");
  ASSERT_NE(circle, std::string::npos);
  EXPECT_NEAR(std::stod(log.substr(circle + 3)), 50000, 1);
  EXPECT_EQ(log.find("\nC:", circle + 1), std::string::npos) << "each radius is listed once";
  EXPECT_EQ(log.find("Top Structure Selected"), std::string::npos);
  // Scan mode writes no streams, and boundaries go to PG.
  EXPECT_FALSE(ScratchJob::Exists("scan.gdx"));
  EXPECT_FALSE(ScratchJob::Exists("scan.hdx"));
  EXPECT_EQ(pg_.polygons.size(), 2u);
}

TEST_F(EngineTest, NoZeroFillWhenTheStreamEndsOnABlock) {
  const auto write = [](size_t text_length) {
    Layout l("fill.gds");
    l.Begin("TOP");
    l.Text(1, std::string(text_length, 'x'), {0, 0});
    l.End();
    l.Finish();
  };
  ScratchJob::Write("fill.ssn", "HIERARCHY of INDEPENDENT STRUCTURES\nTOP\n");
  write(100);
  ASSERT_EQ(Run({"-opost"}, "fill.gds"), 1);  // the text, left out of the PG data
  const std::vector<testing::ReadRecord> records = ReadRecords("fill.gdx");
  const size_t used =
      std::accumulate(records.begin(), records.end(), size_t{0},
                      [](size_t sum, const auto& r) { return sum + r.bytes.size(); });
  ASSERT_NE(used % 2048, 0u);
  EXPECT_EQ(ScratchJob::Read("fill.gdx").size(), (used / 2048 + 1) * 2048);

  write(100 + 2048 - used % 2048);
  ASSERT_EQ(Run({"-opost"}, "fill.gds"), 1);  // the text, left out of the PG data
  EXPECT_EQ(ScratchJob::Read("fill.gdx").size(), (used / 2048 + 1) * 2048);
  const std::vector<testing::ReadRecord> exact = ReadRecords("fill.gdx");
  EXPECT_EQ(std::accumulate(exact.begin(), exact.end(), size_t{0},
                            [](size_t sum, const auto& r) { return sum + r.bytes.size(); }),
            (used / 2048 + 1) * 2048);
}

// Bytes of a stream file with one element, for malformed-input cases.
std::string TruncatedChip() {
  std::string bytes = ScratchJob::Read("chip.gds");
  const size_t end = bytes.rfind(std::string("\x00\x04\x04\x00", 4));
  return bytes.substr(0, end);
}

TEST_F(EngineTest, UnreadableInputFailsAfterClosingPgAndLogsTheCause) {
  ScratchJob::Write("cut.gds", TruncatedChip());
  ScratchJob::Write("cut.ssn", kChipReport);
  EXPECT_EQ(Run({"-opost"}, "cut.gds"), -1);
  EXPECT_EQ(pg_.close_calls, 1);
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_NE(notifier_.shown[0].text.find("ends without ENDLIB"), std::string::npos);
  const std::string log = ScratchJob::Read("cut.log");
  EXPECT_NE(log.find("ends without ENDLIB"), std::string::npos);
  EXPECT_NE(log.find("warning(s) and"), std::string::npos);
  EXPECT_FALSE(ScratchJob::Exists("cut.gdx"));
  EXPECT_FALSE(ScratchJob::Exists("cut.hdx"));

  // With -dbgx the temporaries stay for a look.
  EXPECT_EQ(Run({"-dbgx"}, "cut.gds"), -1);
  EXPECT_TRUE(ScratchJob::Exists("cut.hdx"));
}

std::string Record(int type, int data_type, const std::string& data) {
  const size_t length = data.size() + 4;
  return std::string{static_cast<char>(length >> 8), static_cast<char>(length & 0xFF),
                     static_cast<char>(type), static_cast<char>(data_type)} +
         data;
}

TEST_F(EngineTest, MalformedRecordsGiveAClearMessage) {
  std::string start;
  {
    // HEADER .. UNITS of a real stream.
    const std::vector<testing::ReadRecord> records = ReadRecords("chip.gds");
    for (size_t i = 0; i < 4; ++i) start.append(records[i].bytes.begin(), records[i].bytes.end());
  }
  const std::string begin = Record(kGdsBgnStr, 2, std::string(24, '\0'));
  const std::string end = Record(kGdsEndStr, 0, "") + Record(kGdsEndLib, 0, "");
  const std::string long_name(40, 'L');
  struct Case {
    const char* name;
    std::string body;
    std::string top;
    std::string message_part;
    bool whole_file = false;  // the body is the whole file, not what follows UNITS
  };
  const Case cases[] = {
      {"gzip-compressed", std::string("\x1f\x8b\x08\x00", 4) + ScratchJob::Read("chip.gds"), "TOP",
       "Unable to read the GDS file 'bad.gds': the file is compressed (gzip), not a GDSII "
       "stream; decompress it first (gunzip).",
       true},
      {"odd length", begin + Record(kGdsStrName, 6, "TOP") + end, "TOP", "is odd"},
      {"short length", begin + std::string("\x00\x02\x06\x06", 4) + end, "TOP", "below 4"},
      {"long name", begin + Record(kGdsStrName, 6, long_name) + end, long_name,
       "is longer than 33 characters"},
      {"layer",
       begin + Record(kGdsStrName, 6, std::string("TOP\0", 4)) + Record(kGdsBoundary, 0, "") +
           Record(kGdsLayer, 2, std::string("\x07\xD0", 2)) + end,
       "TOP", "Layer 2000 in structure TOP"},
      {"units",
       Record(kGdsHeader, 2, std::string("\x02\x58", 2)) +
           Record(kGdsUnits, 5, std::string(16, '\0')) + end,
       "TOP", "malformed UNITS record", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    notifier_.shown.clear();
    pg_ = RecordingPgLibrary();
    const std::string body = c.whole_file ? c.body : start + c.body;
    ScratchJob::Write("bad.gds", body);
    ScratchJob::Write("bad.ssn", "HIERARCHY of INDEPENDENT STRUCTURES\n" + c.top + "\n");
    EXPECT_EQ(Run({"-opost"}, "bad.gds"), -1);
    ASSERT_EQ(notifier_.shown.size(), 1u);
    EXPECT_NE(notifier_.shown[0].text.find(c.message_part), std::string::npos)
        << notifier_.shown[0].text;
    EXPECT_NE(ScratchJob::Read("bad.log").find(c.message_part), std::string::npos);
  }
}

TEST_F(EngineTest, JobFailuresShowTheirMessages) {
  struct Case {
    const char* name;
    std::function<void(EngineTest&, const std::string& bin)> arrange;
    std::vector<std::string> options;
    std::string input;
    std::string top;
    std::string message;
  };
  const Case cases[] = {
      {"scanner",
       [](auto&, auto& bin) { std::filesystem::remove(bin + "/selvar"); },
       {},
       "chip.gds",
       "=",
       "Unable to find scanning module: {bin}/selvar"},
      {"post processor",
       [](auto&, auto& bin) { std::filesystem::remove(bin + "/libquenrix.so"); },
       {},
       "chip.gds",
       "=",
       "Unable to find post processor: {bin}/libquenrix.so"},
      {"input",
       [](auto&, auto&) { std::filesystem::create_directory("dir.gds"); },
       {},
       "dir.gds",
       "=",
       "Unable to open input file 'dir.gds'."},
      {"stdout",
       [](auto&, auto&) { std::filesystem::create_directory("chip.out"); },
       {},
       "chip.gds",
       "=",
       "Unable to open file 'chip.out' for redirection of stdout."},
      {"stderr",
       [](auto&, auto&) { std::filesystem::create_directory("chip.err"); },
       {},
       "chip.gds",
       "=",
       "Unable to open file 'chip.err' for redirection of stderr."},
      {"log",
       [](auto&, auto&) { std::filesystem::create_directory("chip.log"); },
       {},
       "chip.gds",
       "=",
       "Unable to open file 'chip.log' for logging."},
      {"translated",
       [](auto&, auto&) { std::filesystem::create_directory("chip.gdx"); },
       {},
       "chip.gds",
       "=",
       "Unable to open GDS file 'chip.gdx' for output."},
      {"null",
       [](auto& t, auto&) { t.environment_.null_device = "/nonexistent/null"; },
       {},
       "chip.gds",
       "=",
       "Unable to open NULL file 'NUL' for output."},
      {"no match",
       [](auto&, auto&) {},
       {},
       "chip.gds",
       "NOPE",
       "No match to designated top structure NOPE."},
      {"partial name",
       [](auto&, auto&) {},
       {},
       "chip.gds",
       "SU",
       "No match to designated top structure SU."},
      // Without a usable scan report no structure can be chosen: the message says how to
      // make one.
      {"no scan report",
       [](auto&, auto&) { std::filesystem::remove("chip.ssn"); },
       {},
       "chip.gds",
       "TOP",
       "The scan report 'chip.ssn' does not exist in the working directory, so no structure can "
       "be selected.\nMake it with: selvar chip.gds -sh -o:chip.ssn"},
      {"scan report unreadable",
       [](auto&, auto&) {
         std::filesystem::remove("chip.ssn");
         std::filesystem::create_directory("chip.ssn");
       },
       {},
       "chip.gds",
       "=",
       "The scan report 'chip.ssn' cannot be read, so no structure can be selected.\nMake it "
       "again with: selvar chip.gds -sh -o:chip.ssn"},
      {"scan report without hierarchy",
       [](auto&, auto&) { ScratchJob::Write("chip.ssn", "LAYERS_CONTAINING_DATA\n------\n1\n\n"); },
       {},
       "chip.gds",
       "TOP",
       "The scan report 'chip.ssn' holds no structure hierarchy, so no structure can be "
       "selected.\nMake it again with: selvar chip.gds -sh -o:chip.ssn"},
      {"pg.cfg",
       [](auto& t, auto&) { t.pg_.init_result = kPgInitFailed; },
       {},
       "chip.gds",
       "=",
       "Error occurred in getting translation options from pg.cfg.\nCheck working directory "
       "permission.\n"},
      {"input is a side file",
       [](auto&, auto&) {
         std::filesystem::copy_file("chip.gds", "chip.log");
         ScratchJob::Write("chip.ssn", kChipReport);
       },
       {},
       "chip.log",
       "=",
       "The output file 'chip.log' would overwrite the input file 'chip.log'."},
      {"stderr onto input",
       [](auto&, auto&) {},
       {"-stderr", "chip.gds"},
       "chip.gds",
       "=",
       "The output file 'chip.gds' would overwrite the input file 'chip.gds'."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchJob job;  // a fresh working directory for each case
    WriteChip("chip.gds");
    ScratchJob::Write("chip.ssn", kChipReport);
    notifier_.shown.clear();
    pg_ = RecordingPgLibrary();
    environment_ = EngineEnvironment();
    environment_.program_directory = job.bin();
    environment_.pg = &pg_;
    c.arrange(*this, job.bin());
    const bool regular = std::filesystem::is_regular_file(c.input);
    const std::string input_before = regular ? ScratchJob::Read(c.input) : "";
    EXPECT_EQ(Run(c.options, c.input, "=", c.top), -1);
    ASSERT_FALSE(notifier_.shown.empty());
    std::string message = c.message;
    if (const size_t at = message.find("{bin}"); at != std::string::npos) {
      message.replace(at, 5, job.bin());
    }
    EXPECT_EQ(notifier_.shown.back().text, message);
    EXPECT_EQ(notifier_.shown.back().icon, MessageIcon::kWarning);
    if (regular) {
      EXPECT_EQ(ScratchJob::Read(c.input), input_before) << "the input is untouched";
    }
    EXPECT_EQ(pg_.close_calls, pg_.init && pg_.init_result != kPgInitFailed ? 1 : 0);
  }
}

TEST_F(EngineTest, MissingFontIsOnlyAWarning) {
  std::filesystem::remove(job_.bin() + "/mirelt.shx");
  EXPECT_EQ(Run({"-opost"}), kChipTexts);
  EXPECT_EQ(Messages(),
            std::vector<std::string>{"Unable to find support file: " + job_.bin() + "/mirelt.shx"});
}

TEST_F(EngineTest, EveryWorkArrayFailureNamesItsArray) {
  size_t budget = 0;
  for (size_t i = 0; i < kWorkArrayTable.size(); ++i) {
    SCOPED_TRACE(i);
    notifier_.shown.clear();
    environment_.work_array_budget = budget + 1;  // one byte short of array i
    EXPECT_EQ(Run({"-opost"}), -1);
    ASSERT_EQ(notifier_.shown.size(), 1u);
    EXPECT_EQ(notifier_.shown[0].text, kWorkArrayTable[i].message);
    const size_t element_size = (i <= 4 || (i >= 8 && i <= 10)) ? sizeof(double) : sizeof(int32_t);
    budget += kWorkArrayTable[i].elements * element_size;
  }
  environment_.work_array_budget = budget;
  EXPECT_EQ(Run({"-opost"}), kChipTexts);
}

TEST(EngineDirectoryTest, UnreadableProgramPathIsAFailure) {
  EXPECT_EQ(EngineDirectory("/opt/kavrinth/bin/", "/proc/self/exe"), "/opt/kavrinth/bin");
  EXPECT_TRUE(EngineDirectory(nullptr, "/proc/self/exe").has_value());
  EXPECT_FALSE(EngineDirectory("", "/nonexistent/link").has_value());
}

}  // namespace
}  // namespace kavrinth
