// The SHX test fixtures. Each shape's bytes are spelled out: the tests state what the
// loader and the stroker must make of them.
#include "tools/shxgen/fixtures.h"

#include "tools/shxgen/shx_writer.h"

namespace kavrinth::shxgen {
namespace {

ShxShape Shape(int code, std::initializer_list<int> commands) {
  return {static_cast<uint16_t>(code), NormalShapeData(commands)};
}

// Octant arcs (code 10) and fractional arcs (code 11).
ShxFontDescription ArcFont() {
  ShxFontDescription font;
  font.shapes = {
      // Full circle: radius 10, start octant 0, count 0 (all eight), counter-clockwise.
      Shape('O', {1, 10, 10, 0x00, 0}),
      // Half circle: radius 10, start octant 0, four octants.
      Shape('H', {1, 10, 10, 0x04, 0}),
      // Clockwise: radius 5, start octant 2 (90 degrees), three octants.
      Shape('C', {1, 10, 5, 0xA3, 0}),
      // Fractional: offsets 0 and 0, radius 20, start octant 0, two octants.
      Shape('F', {1, 11, 0, 0, 0, 20, 0x02, 0}),
      // Fractional over 247.5 degrees: start offset 128 (22.5 degrees), radius 10,
      // start octant 0, six octants.
      Shape('G', {1, 11, 128, 0, 0, 10, 0x06, 0}),
  };
  return font;
}

// Bulge arcs (code 12) and bulge arc lists (code 13).
ShxFontDescription BulgeFont() {
  ShxFontDescription font;
  font.shapes = {
      // Half circle to the right, counter-clockwise.
      Shape('B', {1, 12, 10, 0, 127, 0}),
      // Two arcs: out to the right, back clockwise.
      Shape('M', {1, 13, 10, 0, 127, 0xF6, 0, 0x81, 0, 0, 0}),
      // Bulge 0: a straight line.
      Shape('Z', {1, 12, 10, 0, 0, 0}),
  };
  return font;
}

// The position stack: push and pop, 20 pushes (allowed), 21 (too deep), pop alone.
ShxFontDescription PushPopFont() {
  ShxFontDescription font;
  std::vector<uint8_t> twenty(20, 5), twenty_one(21, 5);
  twenty.insert(twenty.begin(), 1);
  twenty.push_back(0);
  twenty_one.insert(twenty_one.begin(), 1);
  twenty_one.push_back(0);
  font.shapes = {
      // Line right, pop back to the start, then a pen-up move up.
      Shape('P', {1, 5, 8, 10, 0, 6, 8, 0, 10, 0}),
      {'T', NormalShapeData(twenty)},
      {'D', NormalShapeData(twenty_one)},
      Shape('U', {1, 6, 0}),
  };
  return font;
}

// Character calls and the commands the loader leaves out.
ShxFontDescription CallFont() {
  ShxFontDescription font;
  font.shapes = {
      Shape('L', {8, 10, 0, 0}),               // a line right (the pen starts down)
      Shape('S', {7, 'L', 7, 'L', 0}),         // two calls of L
      Shape('R', {7, 'R', 0}),                 // calls itself for ever
      Shape('0', {7, 0, 8, 10, 0, 0}),         // a call of character 0: left out
      Shape('3', {3, 0, 4, 2, 8, 10, 0, 0}),   // divide by 0 left out, multiply by 2 kept
      Shape('V', {14, 8, 5, 5, 8, 10, 0, 0}),  // the vertical-only move is left out
      Shape('L', {8, 0, 10, 0}),               // a second L: the first one stays
  };
  // A chain a -> b -> ... -> v, where v draws a line: "b" nests 20 calls, "a" 21.
  for (int code = 'a'; code < 'v'; ++code) font.shapes.push_back(Shape(code, {7, code + 1, 0}));
  font.shapes.push_back(Shape('v', {8, 10, 0, 0}));
  return font;
}

// A UNIFONT file: shapes with one-letter names, one with an empty name, codes outside
// 32..255 that are left out, and the degree, plus-minus and diameter signs.
ShxFontDescription UnifontFont() {
  ShxFontDescription font;
  font.above = 10;
  font.below = 3;
  font.shapes = {
      {'A', UnifontShapeData({8, 10, 0, 0})},
      {7, UnifontShapeData({8, 0, 10, 0})},
      {0x263A, UnifontShapeData({8, 5, 5, 0})},
      {176, UnifontShapeData({8, 1, 0, 0})},
      {177, UnifontShapeData({8, 2, 0, 0})},
      {248, UnifontShapeData({8, 3, 0, 0})},
      {'B', {0, 1, 8, 0, 10, 0}},
  };
  return font;
}

}  // namespace

std::vector<FixtureFile> ShxFixtureFiles() {
  return {
      {"arcs.shx", WriteNormalShx(ArcFont())},         {"bulges.shx", WriteNormalShx(BulgeFont())},
      {"pushpop.shx", WriteNormalShx(PushPopFont())},  {"calls.shx", WriteNormalShx(CallFont())},
      {"unifont.shx", WriteUnifontShx(UnifontFont())},
  };
}

}  // namespace kavrinth::shxgen
