// The engine's message box texts and the number layout of each unit code.
#include <gtest/gtest.h>

#include "pg2gds/engine_messages.h"
#include "support/notifier.h"

namespace kavrinth {
namespace {

TEST(EngineMessages, FormatsByStyle) {
  struct Case {
    int code;
    int style;
    const char* expected;
  };
  const Case cases[] = {
      {18, kMessageWithName, "Error: File reading error,\nwork/a.em."},
      {23, kMessagePlain, "Error: Not enough parameter(s) on command line."},
      {21, kMessageWithNumber, "Unit type mismatch or unknown, 7."},
      {30, kMessageWithReal, "Error: Problem closing output file., 2.500000."},
      {15, 9, "No source file selected"},
      // The table's own "%s" is text, never a format for the name.
      {17, kMessageWithName, "Processing %s: ,\nwork/a.em."},
      {38, kMessagePlain, "Generating DXF output:\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(FormatEngineMessage(c.code, c.style, "work/a.em", 7, 2.5), c.expected);
  }
}

TEST(EngineMessages, ShowsWarningBoxesOnlyForTableCodes) {
  ScriptedNotifier notifier;
  ScopedNotifier scoped(&notifier);
  notifier.answers = {kAnswerOk};
  EXPECT_EQ(ShowEngineMessage(16, kMessagePlain), kAnswerOk);
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].text, "Error: Cannot open working files.");
  EXPECT_EQ(notifier.shown[0].caption, "");
  EXPECT_EQ(notifier.shown[0].icon, MessageIcon::kWarning);
  EXPECT_EQ(notifier.shown[0].buttons, MessageButtons::kOk);

  EXPECT_EQ(ShowEngineMessage(14, kMessagePlain), 0);
  EXPECT_EQ(ShowEngineMessage(39, kMessageWithName, "x"), 0);
  EXPECT_EQ(notifier.shown.size(), 1u);
}

TEST(EngineMessages, UnitDigitsByCode) {
  EngineRun run(EngineBuild::kCorvitex);
  EXPECT_EQ(run.digits.divisor, 1000) << "the unknown unit's layout before any call";
  struct Case {
    int32_t code;
    int integer_digits;
    int decimal_digits;
    int32_t divisor;
  };
  const Case cases[] = {{1, 8, 2, 100}, {2, 9, 1, 10},  {3, 6, 4, 10000},
                        {4, 10, 0, 1},  {5, 8, 2, 100}, {-1, 7, 3, 1000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    SetUnitDigits(run, 4);  // a different layout first, so every row is really set
    SetUnitDigits(run, c.code);
    EXPECT_EQ(run.digits.integer_digits, c.integer_digits);
    EXPECT_EQ(run.digits.decimal_digits, c.decimal_digits);
    EXPECT_EQ(run.digits.divisor, c.divisor);
  }
  SetUnitDigits(run, 2);
  for (int32_t unknown : {7, 0, -2}) SetUnitDigits(run, unknown);
  EXPECT_EQ(run.digits.divisor, 10) << "an unknown code keeps the layout";
  EXPECT_EQ(run.digits.decimal_digits, 1);
}

}  // namespace
}  // namespace kavrinth
