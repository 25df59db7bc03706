// The shell's reader of the job settings file against the engine's own: for every key both
// read, the shell must take from a file the value the engine takes, since the engine's
// reader decides what a value means.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tabreng/gds_cfg.h"
#include "tabrun/core/gds_cfg_file.h"

namespace kavrinth {
namespace {

int PathModeOf(const std::string& word) {
  const char* const kModes[] = {"OUTLINE", "LWEIGHT", "LWIDENING", "ROUND"};
  for (int mode = 0; mode < 4; ++mode) {
    if (word == kModes[mode]) return mode;
  }
  return -1;
}

void ExpectSameValues(const GdsCfgValues& engine, const GdsCfgSettings& shell) {
  EXPECT_EQ(engine.drawing_unit, 1.0 / shell.acad_units);
  EXPECT_EQ(engine.gds_unit, 1.0 / shell.gds_units);
  EXPECT_EQ(engine.max_errors, shell.max_errors);
  EXPECT_EQ(engine.arc_resolution, shell.arc_resolution);
  EXPECT_EQ(engine.arc_sag, shell.arc_sag);
  EXPECT_EQ(engine.min_line, shell.min_line);
  EXPECT_EQ(engine.scale_factor, shell.scale_factor);
  EXPECT_EQ(engine.text_scales, shell.text_scales);
  EXPECT_EQ(engine.include_names, shell.include);
  EXPECT_EQ(engine.exclude_names, shell.exclude);
  ASSERT_EQ(engine.text_styles.size(), shell.text_styles.size());
  for (size_t i = 0; i < engine.text_styles.size(); ++i) {
    EXPECT_EQ(engine.text_styles[i].name, shell.text_styles[i].name);
    EXPECT_EQ(engine.text_styles[i].value, shell.text_styles[i].value);
  }
  EXPECT_EQ(engine.max_layer, shell.max_layer);
  EXPECT_EQ(engine.error_layer, shell.error_layer);
  EXPECT_EQ(engine.block_text, shell.block_text);
  EXPECT_EQ(engine.link_mode, shell.link_mode);
  EXPECT_EQ(engine.remove_hatch, shell.remove_hatch);
  EXPECT_EQ(engine.remove_dimensions, shell.remove_dim);
  EXPECT_EQ(engine.path_mode, PathModeOf(shell.path));
  EXPECT_EQ(engine.miter, shell.miter);
  EXPECT_EQ(engine.map_circle, shell.map_circle);
  ASSERT_EQ(engine.layer_names.size(), shell.layers.size());
  for (size_t i = 0; i < engine.layer_names.size(); ++i) {
    EXPECT_EQ(engine.layer_names[i].name, shell.layers[i].name);
    EXPECT_EQ(engine.layer_names[i].layer, shell.layers[i].layer);
    EXPECT_EQ(engine.layer_names[i].colour, shell.layers[i].colour);
  }
  EXPECT_EQ(engine.reference_libraries[0], shell.ref_libs[0]);
  EXPECT_EQ(engine.reference_libraries[1], shell.ref_libs[1]);
  EXPECT_EQ(engine.qualify_names, shell.gds_qualify);
}

TEST(EngineAgreementTest, TheShellReadsEveryValueAsTheEngineDoes) {
  std::string long_list = "INCLUDE\n";
  for (int i = 0; i < 300; ++i) long_list += "CELL" + std::to_string(i) + "\n";
  const std::vector<std::string> texts = {
      FormatGdsCfg(GdsCfgSettings()),
      "ACADUNIT\n100\ninches\n\nGDSUNIT\n0\nUM\n\nMAXERR\n12abc\n\nMAX_POINT\n4097\n",
      "ARCRES\n0.05\n\nARCSAG\n2e-7\n\nMIN_LINE\n0\n\nSCALE_FACTOR\n-1\n",
      "TSCALE\n0.5\n0\n2e-13\n1e12\n\nBLOCK_TEXT\nyes\n\nLINK_MODE\nmaybe\n",
      "MAX_LAYER\n16\n\nLAYER\nmetal 20 3\nPOLY 5 200\nVIA 2000\nX\nGATE 7 6 extra\n\n",
      "MAX_LAYER\n1024\n\nERROR_LAYER\n600\n\nLAYER\nPOLY 100 2\n\n",
      "MAX_LAYER\n0\n\nERROR_LAYER\n512\n\nPATH\nround\n\nMITER\nON\n\nMAP_CIRCLE\n1\n",
      "INCLUDE\nTOP extra\n" + std::string(40, 'N') +
          "\n\nEXCLUDE\nA\nB\n\nTSTYLE\nS1 7\nS2 3\nS3\n",
      "REFLIBS\n" + std::string(50, 'L') + "  \nlib2\t\n\nGDSQUALIFY\nOFF\n\nREMOVE_DIM\non\n",
      long_list,
      // Keys only at record starts.
      "MAX_POINT\n300\nARCRES\n1.5\n\n   MAXERR\n7\n",
      "PATH\ncurved\n\nREMOVE_HATCH\n\n",
      // Five letters make BLOCK_TEXT's key, as in the engine.
      "BLOCKS\nyes\n",
      "BLOCK\non\n\nBLOCK_TEXT\nno\n",
      // Lines ending CR CR LF keep one CR: "TOP\r" is a name, "ROUND\r" no path mode and
      // "ON\r" no yes, to both readers.
      "INCLUDE\r\r\nTOP\r\r\nCELL \r\r\n\r\r\nPATH\r\r\nROUND\r\r\n\r\r\nMITER\r\r\nON\r\r\n"
      "\r\r\nREFLIBS\r\r\nlib\r\r\n",
      // A line longer than the shell's old line buffer is read whole.
      "MAXERR\n" + std::string(1100, '0') + "7\n",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.substr(0, 60));
    ExpectSameValues(ParseGdsCfg(std::string_view(text)), ParseGdsCfg(text, ""));
  }
}

// What the CR CR LF lines mean to the engine is no surprise: the shell names each value
// that is not what it looks like.
TEST(EngineAgreementTest, ValuesWithACarriageReturnAreNamed) {
  const std::string text = "PATH\r\r\nROUND\r\r\n\r\r\nMITER\r\r\nON\r\r\n";
  std::vector<CfgNote> notes;
  ParseGdsCfg(text, "", &notes);
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0].key, "PATH");
  EXPECT_EQ(notes[1].key, "MITER");
  EXPECT_EQ(notes[1].line, 5u);
}

}  // namespace
}  // namespace kavrinth
