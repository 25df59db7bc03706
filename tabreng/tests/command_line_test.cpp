// The engine's command line: positional arguments, the option table and its faults.
#include "tabreng/command_line.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/notifier.h"
#include "tabreng/tests/engine_test_support.h"

namespace kavrinth {
namespace {

using testing::ScratchJob;

class EngineCommandLineTest : public ::testing::Test {
 protected:
  EngineCommandLineTest() { ScratchJob::Write("in.gds", "x"); }

  // Parses the four usual positional words followed by the given options.
  int Parse(std::vector<std::string> extra, EngineOptions* options) {
    std::vector<std::string> words = {"/opt/tabreng", "in.gds", "0.5", "=", "TOP"};
    words.insert(words.end(), extra.begin(), extra.end());
    return ParseCommandLine(words, *options);
  }

  ScratchJob job_;
  ScriptedNotifier notifier_;
  ScopedNotifier scoped_{&notifier_};
};

TEST_F(EngineCommandLineTest, PositionalArgumentsAndDefaults) {
  EngineOptions o;
  ASSERT_EQ(ParseCommandLine({"tabreng", "in.gds", "2.5", "1,2,1023", "CHIP"}, o), 0);
  EXPECT_EQ(o.input_path, "in.gds");
  EXPECT_EQ(o.feature_size, 2.5);
  EXPECT_EQ(o.top_name, "CHIP");
  EXPECT_TRUE(o.include_mode);
  EXPECT_FALSE(o.exclude_mode);
  EXPECT_TRUE(o.requested.Test(1) && o.requested.Test(2) && o.requested.Test(1023));
  EXPECT_FALSE(o.requested.Test(0));
  // Every option at its default.
  EXPECT_EQ(o.pg_scale, kUnsetReal);
  EXPECT_EQ(o.pg_o, -1);
  EXPECT_EQ(o.max_structures, 2048);
  EXPECT_TRUE(o.list_selection);
  EXPECT_TRUE(o.unfold);
  EXPECT_FALSE(o.counting_pass);
  EXPECT_EQ(o.settings_file, "GDS.CFG");
  EXPECT_TRUE(notifier_.shown.empty());

  EngineOptions every_layer;
  ASSERT_EQ(ParseCommandLine({"tabreng", "in.gds", "1", "=", "="}, every_layer), 0);
  EXPECT_FALSE(every_layer.include_mode);
  EXPECT_TRUE(every_layer.requested.Empty());
  EXPECT_EQ(every_layer.top_name, "=");
}

TEST_F(EngineCommandLineTest, OptionTable) {
  struct Case {
    std::vector<std::string> words;
    std::function<void(const EngineOptions&)> check;
  };
  const Case cases[] = {
      {{"-scan"},
       [](auto& o) {
         EXPECT_TRUE(o.scan_mode);
         EXPECT_EQ(o.pg_scale, kUnsetReal);
       }},
      {{"-SCAN"}, [](auto& o) { EXPECT_TRUE(o.scan_mode); }},
      {{"-scanner"}, [](auto& o) { EXPECT_FALSE(o.scan_mode); }},
      {{"-polycnt"},
       [](auto& o) {
         EXPECT_TRUE(o.counting_pass);
         EXPECT_EQ(o.expected_count, 0);
       }},
      {{"-POLYCNT"}, [](auto& o) { EXPECT_TRUE(o.counting_pass); }},
      {{"-polycnt:250"},
       [](auto& o) {
         EXPECT_FALSE(o.counting_pass);
         EXPECT_EQ(o.expected_count, 250);
       }},
      {{"-polycnt:-5"},
       [](auto& o) {
         EXPECT_FALSE(o.counting_pass);
         EXPECT_EQ(o.expected_count, 0);
       }},
      {{"-s0"}, [](auto& o) { EXPECT_EQ(o.pg_scale, kUnsetReal); }},
      {{"-s1e6"}, [](auto& o) { EXPECT_EQ(o.pg_scale, kUnsetReal); }},
      {{"-s0.5"}, [](auto& o) { EXPECT_EQ(o.pg_scale, 0.5); }},
      {{"-c-3"}, [](auto& o) { EXPECT_EQ(o.pg_second, -3); }},
      {{"-a45"}, [](auto& o) { EXPECT_EQ(o.pg_third, kUnsetReal); }},
      {{"-a0.0999"}, [](auto& o) { EXPECT_EQ(o.pg_third, 0.0999); }},
      {{"-v3", "-o2", "-m1"},
       [](auto& o) {
         EXPECT_EQ(o.pg_v, 3);
         EXPECT_EQ(o.pg_o, 2);
         EXPECT_EQ(o.pg_m, 1);
       }},
      {{"-o-1"}, [](auto& o) { EXPECT_EQ(o.pg_o, -1); }},
      {{"-max:63"}, [](auto& o) { EXPECT_EQ(o.max_structures, 2048); }},
      {{"-max:32768"}, [](auto& o) { EXPECT_EQ(o.max_structures, 2048); }},
      {{"-max:64"}, [](auto& o) { EXPECT_EQ(o.max_structures, 64); }},
      {{"-t4", "-T1"}, [](auto& o) { EXPECT_EQ(o.path_mode_override, -1); }},
      {{"-t2"}, [](auto& o) { EXPECT_EQ(o.path_mode_override, 2); }},
      {{"-dbgx"},
       [](auto& o) {
         EXPECT_TRUE(o.debug);
         EXPECT_TRUE(o.keep_temporaries);
       }},
      {{"-dbg"},
       [](auto& o) {
         EXPECT_TRUE(o.debug);
         EXPECT_FALSE(o.keep_temporaries);
       }},
      {{"-Debug"},
       [](auto& o) {
         EXPECT_TRUE(o.debug);
         EXPECT_FALSE(o.keep_temporaries);
       }},
      {{"-on10,11"},
       [](auto& o) {
         EXPECT_TRUE(o.outline_given);
         EXPECT_EQ(o.outline_a, 10);
         EXPECT_EQ(o.outline_b, 11);
       }},
      {{"-ON10,11"}, [](auto& o) { EXPECT_FALSE(o.outline_given); }},
      {{"-opost"},
       [](auto& o) {
         EXPECT_TRUE(o.no_post);
         EXPECT_EQ(o.pg_o, -1);
       }},
      {{"-q", "-prune", "-all", "-unfold"},
       [](auto& o) {
         EXPECT_FALSE(o.list_selection);
         EXPECT_TRUE(o.prune);
         EXPECT_TRUE(o.all_structures);
       }},
      {{"-pg"},
       [](auto& o) {
         EXPECT_TRUE(o.polygon_mode);
         EXPECT_TRUE(o.HandOffMode());
       }},
      {{"-reentrant"},
       [](auto& o) {
         EXPECT_TRUE(o.reentrant);
         EXPECT_TRUE(o.HandOffMode());
       }},
      {{"-maxwarn:5", "-maxmix:1.5", "-relax", "-dark"},
       [](auto& o) {
         EXPECT_EQ(o.max_warnings, 5);
         EXPECT_EQ(o.max_mix, 1.5);
         EXPECT_TRUE(o.relax);
         EXPECT_TRUE(o.dark);
         EXPECT_EQ(o.max_structures, 2048);
         EXPECT_EQ(o.pg_m, -1);
       }},
      {{"-i3,4,2000,5"},
       [](auto& o) {
         EXPECT_TRUE(o.include_mode);
         EXPECT_TRUE(o.requested.Test(3));
         EXPECT_TRUE(o.requested.Test(4) && o.requested.Test(5));
         EXPECT_FALSE(o.requested.Test(0));
       }},
      {{"-stderr", "err.txt"},
       [](auto& o) {
         EXPECT_TRUE(o.log_to_stderr);
         EXPECT_EQ(o.stderr_file, "err.txt");
       }},
      {{"-STDERR", "err.txt"}, [](auto& o) { EXPECT_FALSE(o.log_to_stderr); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.words));
    EngineOptions o;
    ASSERT_EQ(Parse(c.words, &o), 0);
    c.check(o);
  }
  EXPECT_TRUE(notifier_.shown.empty());
}

TEST_F(EngineCommandLineTest, OnlyTheLastLayerOptionSurvives) {
  EngineOptions o;
  ASSERT_EQ(ParseCommandLine({"tabreng", "in.gds", "1", "1,2", "TOP", "-x5"}, o), 0);
  EXPECT_TRUE(o.exclude_mode);
  EXPECT_FALSE(o.include_mode);
  EXPECT_TRUE(o.excluded.Test(5));
  EXPECT_TRUE(o.requested.Empty());

  EngineOptions both;
  ASSERT_EQ(ParseCommandLine({"tabreng", "in.gds", "1", "=", "TOP", "-x5", "-i7"}, both), 0);
  EXPECT_TRUE(both.include_mode);
  EXPECT_TRUE(both.excluded.Empty());
  EXPECT_TRUE(both.requested.Test(7));
}

// A listed layer beyond 1023 is named with the structure that holds it, as the record loop
// names such a layer, so that the refusal says which data the user must move.
TEST_F(EngineCommandLineTest, LayersBeyondTheLayerSetsAreNamedWithTheirStructure) {
  {
    testing::Layout l("big.gds");
    l.Begin("A");
    l.Boundary(1, testing::Square(0, 0, 10));
    l.Boundary(1001, testing::Square(0, 0, 10));
    l.End();
    l.Begin("B");
    l.Boundary(2, testing::Square(0, 0, 10));
    l.Boundary(1031, testing::Square(0, 0, 10));
    l.End();
    l.Begin("C");
    l.Boundary(1032, testing::Square(0, 0, 10));
    l.Boundary(1031, testing::Square(0, 0, 10));
    l.End();
    l.Finish();
  }
  EngineOptions o;
  EXPECT_EQ(ParseCommandLine({"tabreng", "big.gds", "1", "1,2,1001,1031,1032,1040", "="}, o), -1);
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0].text,
            "Found '1,2,1001,1031,1032,1040'; expected list of layer numbers.\n"
            "Layer 1031 in structure B of the GDS file 'big.gds' is outside 0..1023.\n"
            "Layer 1032 in structure C of the GDS file 'big.gds' is outside 0..1023.\n"
            "Layer 1040 is outside 0..1023.");
}

TEST_F(EngineCommandLineTest, SettingsFileIsFoundWithoutRegardToCase) {
  ScratchJob::Write("gds.cfg", "");
  EngineOptions o;
  ASSERT_EQ(Parse({"-cfg:GDS.CFG"}, &o), 0);
  EXPECT_EQ(o.settings_file, "GDS.CFG");
}

TEST_F(EngineCommandLineTest, FaultsShowTheirMessage) {
  struct Case {
    std::vector<std::string> words;
    std::string message;
  };
  const std::string launch = "Error occurred in launching translation engine.  ";
  std::vector<std::string> many = {"tabreng", "in.gds", "1", "=", "TOP"};
  while (many.size() <= kMaxCommandWords) many.push_back("-q");
  const Case cases[] = {
      {{"tabreng", "missing.gds", "1", "=", "TOP"},
       "The specified file 'missing.gds' is not a file!"},
      {{"tabreng", "in.gds", "abc", "=", "TOP"}, "Found 'abc'; expected feature size."},
      {{"tabreng", "in.gds", "0", "=", "TOP"}, "Found '0'; expected feature size."},
      {{"tabreng", "in.gds", "1", "1,x", "TOP"}, "Found '1,x'; expected list of layer numbers."},
      {{"tabreng", "in.gds", "1", "1024", "TOP"},
       "Found '1024'; expected list of layer numbers.\nLayer 1024 is outside 0..1023."},
      {{"tabreng", "in.gds", "1", ",", "TOP"}, "Found ','; expected list of layer numbers."},
      {{"tabreng", "in.gds", "1", "="}, launch + "Not enough arguments."},
      {{"tabreng", "in.gds", "1", "=", "TOP", "EXTRA"}, launch + "Too many arguments."},
      {many, launch + "Too many arguments."},
      {{"tabreng", "in.gds", "1", "=", "TOP", "-cfg:nothing.cfg"},
       "Unable to find config file 'nothing.cfg'."},
      {{"tabreng", "in.gds", "1", "=", "TOP", "-on12"}, "Outline argument error.  Found '-on12'."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    notifier_.shown.clear();
    EngineOptions o;
    EXPECT_EQ(ParseCommandLine(c.words, o), -1);
    ASSERT_EQ(notifier_.shown.size(), 1u);
    EXPECT_EQ(notifier_.shown[0].text, c.message);
    EXPECT_EQ(notifier_.shown[0].icon, MessageIcon::kWarning);
    EXPECT_EQ(notifier_.shown[0].caption, "");
  }
}

// The layer list's tokens, in the positional list and after -i and -x: digits only, one
// to four of them for a layer 0..1023. The positional list names layers only; -i and -x
// skip the numbers that name none. Anything else is refused with the list's message.
TEST_F(EngineCommandLineTest, LayerListTokens) {
  struct Case {
    std::string list;
    bool positional_taken;
    bool option_taken;
    std::vector<int> layers;   // of the positional list, or of -i / -x when only they take it
    std::string outside = "";  // the lines the positional list's message adds
  };
  const Case cases[] = {
      {"1,2,1023", true, true, {1, 2, 1023}},
      {"0", true, true, {0}},
      {"0005", true, true, {5}},
      {"7,7", true, true, {7}},
      {"00005", true, true, {5}},
      {"000000000000000000001023", true, true, {1023}},
      {"1024", false, true, {}, "\nLayer 1024 is outside 0..1023."},
      {"99999999999999999999999",
       false,
       true,
       {},
       "\nLayer 99999999999999999999999 is outside 0..1023."},
      {"3,2000,4", false, true, {3, 4}, "\nLayer 2000 is outside 0..1023."},
      {"01024,1024,x", false, false, {}, "\nLayer 1024 is outside 0..1023."},
      {"1,,2", false, false, {}},
      {"5x", false, false, {}},
      {"1,5x", false, false, {}},
      {"x", false, false, {}},
      {"+5", false, false, {}},
      {" 5", false, false, {}},
      {"5.0", false, false, {}},
      {"1,", false, false, {}},
      {",1", false, false, {}},
      {",", false, false, {}},
      {"", false, false, {}},
  };
  auto layers_of = [](const LayerSet& set) {
    std::vector<int> layers;
    for (int layer = 0; layer < kLayerCount; ++layer) {
      if (set.Test(layer)) layers.push_back(layer);
    }
    return layers;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("list '" + c.list + "'");
    notifier_.shown.clear();
    EngineOptions positional;
    const int result = ParseCommandLine({"tabreng", "in.gds", "1", c.list, "TOP"}, positional);
    if (c.positional_taken) {
      EXPECT_EQ(result, 0);
      EXPECT_EQ(layers_of(positional.requested), c.layers);
      EXPECT_TRUE(positional.include_mode);
      EXPECT_TRUE(notifier_.shown.empty());
    } else {
      EXPECT_EQ(result, -1);
      EXPECT_EQ(notifier_.shown.size(), 1u);
      if (!notifier_.shown.empty()) {
        EXPECT_EQ(notifier_.shown[0].text,
                  "Found '" + c.list + "'; expected list of layer numbers." + c.outside);
      }
    }
    for (const std::string option : {"-i", "-x", "-I"}) {
      SCOPED_TRACE(option);
      notifier_.shown.clear();
      EngineOptions o;
      const std::string word = option + c.list;
      const int option_result = Parse({word}, &o);
      if (c.option_taken) {
        EXPECT_EQ(option_result, 0);
        const bool include = option != "-x";
        EXPECT_EQ(layers_of(include ? o.requested : o.excluded), c.layers);
        EXPECT_EQ(o.include_mode, include);
        EXPECT_EQ(o.exclude_mode, !include);
        EXPECT_TRUE(notifier_.shown.empty());
      } else {
        EXPECT_EQ(option_result, -1);
        EXPECT_EQ(notifier_.shown.size(), 1u);
        if (!notifier_.shown.empty()) {
          EXPECT_EQ(notifier_.shown[0].text,
                    "Found '" + word + "'; expected list of layer numbers.");
        }
      }
    }
  }
}

TEST(LeadingNumbers, ReadLikeTheRuntimeScanners) {
  EXPECT_EQ(LeadingReal("1.5abc"), 1.5);
  EXPECT_EQ(LeadingReal(" 2"), 2.0);
  EXPECT_FALSE(LeadingReal("can"));
  EXPECT_FALSE(LeadingReal(""));
  EXPECT_EQ(LeadingInteger("64x"), 64);
  EXPECT_FALSE(LeadingInteger("x64"));
  EXPECT_FALSE(LeadingInteger("99999999999999999999999"));
}

}  // namespace
}  // namespace kavrinth
