// The engine's message table, its message box and the unit-code layouts.
#include "pg2gds/engine_messages.h"

#include <array>
#include <cstdio>

#include "support/notifier.h"

namespace kavrinth {

namespace {

constexpr std::array<std::string_view, kLastEngineMessage - kFirstEngineMessage + 1>
    kEngineMessageTable = {
        "No source file selected",
        "Error: Cannot open working files.",
        "Processing %s: ",
        "Error: File reading error",
        "Error: Not enough memory",
        "Warning: No data found",
        "Unit type mismatch or unknown",
        "Warning: Negative data encountered.  This format forbids neg data.",
        "Error: Not enough parameter(s) on command line.",
        "Error: Not enough file handle(s).",
        "Error: File reading error.",
        "Error: Invalid data read.",
        "Error: File writing error",
        "Error: Electromask file not found.",
        "Error: Cannot initialize output file.",
        "Error: Problem closing output file.",
        "\r\nSelected file(s)                                   Layer\r\n",
        "%-50s %d\r\n",
        "%-50s %s\r\n",
        "%s: ",
        ">>> Hit ENTER to continue <<<",
        ">>> Hit ENTER for more <<<",
        "\r\nPhase ",
        "Generating DXF output:\r\n",
};

struct UnitLayout {
  int32_t unit_code;
  UnitDigits digits;
};

constexpr std::array<UnitLayout, 6> kUnitLayouts = {{
    {kUnitEnglish, {8, 2, 100}},
    {kUnitMetric, {9, 1, 10}},
    {3, {6, 4, 10000}},
    {kUnitMetricMann3000, {10, 0, 1}},
    {kUnitMetricMann3600, {8, 2, 100}},
    {kUnitUnknown, {7, 3, 1000}},
}};

}  // namespace

std::string_view EngineMessageText(int code) {
  if (code < kFirstEngineMessage || code > kLastEngineMessage) return {};
  return kEngineMessageTable[code - kFirstEngineMessage];
}

std::string FormatEngineMessage(int code, int style, std::string_view name, int number,
                                double real) {
  std::string text(EngineMessageText(code));
  switch (style) {
    case kMessageWithName:
      return text.append(",\n").append(name).append(".");
    case kMessageWithNumber:
      return text.append(", ").append(std::to_string(number)).append(".");
    case kMessageWithReal: {
      std::string number_text(std::snprintf(nullptr, 0, "%f", real), '\0');
      std::snprintf(number_text.data(), number_text.size() + 1, "%f", real);
      return text.append(", ").append(number_text).append(".");
    }
    default:
      return text;
  }
}

int ShowEngineMessage(int code, int style, std::string_view name, int number, double real) {
  if (EngineMessageText(code).empty()) return 0;
  return ShowMessage(FormatEngineMessage(code, style, name, number, real), "",
                     MessageIcon::kWarning, MessageButtons::kOk);
}

void SetUnitDigits(EngineRun& run, int32_t unit_code) {
  for (const UnitLayout& layout : kUnitLayouts) {
    if (layout.unit_code == unit_code) {
      run.digits = layout.digits;
      return;
    }
  }
}

}  // namespace kavrinth
