// Walking the reference tree from the top structure with the placements composed.
#include "companions/quenrix/flatten.h"

#include <cmath>

namespace kavrinth {
namespace {

// Shapes placed between two looks at the cancel flag inside one structure.
constexpr size_t kPollShapes = 4096;

enum class Mark : uint8_t { kUnseen, kOpen, kDone };

// Checks the tree below the top for cycles and depth, and finds which structures draw
// anything at all, so that arrays of empty cells are not walked.
class TreeCheck {
 public:
  explicit TreeCheck(const Layout& layout)
      : layout_(layout),
        marks_(layout.structures.size(), Mark::kUnseen),
        draws_(layout.structures.size(), false) {}

  bool Run(int32_t top, std::string* error);
  const std::vector<bool>& draws() const { return draws_; }

 private:
  struct Frame {
    int32_t structure;
    size_t next_reference;
  };
  const Layout& layout_;
  std::vector<Mark> marks_;
  std::vector<bool> draws_;
};

bool TreeCheck::Run(int32_t top, std::string* error) {
  std::vector<Frame> stack = {{top, 0}};
  marks_[top] = Mark::kOpen;
  while (!stack.empty()) {
    Frame& frame = stack.back();
    const Structure& s = layout_.structures[frame.structure];
    if (frame.next_reference == s.references.size()) {
      draws_[frame.structure] = draws_[frame.structure] || s.HasShapes();
      marks_[frame.structure] = Mark::kDone;
      const bool drew = draws_[frame.structure];
      stack.pop_back();
      if (!stack.empty() && drew) draws_[stack.back().structure] = true;
      continue;
    }
    const int32_t child = s.references[frame.next_reference++].structure;
    if (child < 0) continue;
    if (marks_[child] == Mark::kOpen) {
      *error = "structure '" + layout_.structures[child].name + "' contains itself";
      return false;
    }
    if (marks_[child] == Mark::kDone) {
      if (draws_[child]) draws_[frame.structure] = true;
      continue;
    }
    if (stack.size() >= kMaxNesting) {
      *error = "references are nested more than " + std::to_string(kMaxNesting) + " deep";
      return false;
    }
    marks_[child] = Mark::kOpen;
    stack.push_back({child, 0});
  }
  return true;
}

class Flattener {
 public:
  Flattener(const Layout& layout, const std::vector<bool>& draws, const FlattenSettings& settings,
            ShapeSink& sink, FlattenReport& report)
      : layout_(layout), draws_(draws), settings_(settings), sink_(sink), report_(report) {}

  bool Walk(int32_t structure, const Placement& placement);

 private:
  bool Stopped() {
    stopped_ = stopped_ || !sink_.ok() ||
               (settings_.cancel_flag != nullptr && *settings_.cancel_flag != 0);
    return stopped_;
  }
  void Count(const EmitResult& result) {
    report_.out_of_range += result.out_of_range;
    report_.imprecise += result.imprecise;
  }
  bool EmitShapes(const Structure& s, const Placement& placement);
  void EmitStroke(const Structure& s, const Stroke& stroke, const Placement& placement);
  bool WalkReference(const Reference& ref, const Placement& placement);

  const Layout& layout_;
  const std::vector<bool>& draws_;
  const FlattenSettings& settings_;
  ShapeSink& sink_;
  FlattenReport& report_;
  bool stopped_ = false;
  PolygonCutter cutter_;
  std::vector<int32_t> placed_;
  std::vector<LocalQuad> stroke_quads_;
};

bool Flattener::Walk(int32_t structure, const Placement& placement) {
  if (Stopped()) return false;
  const Structure& s = layout_.structures[structure];
  if (!EmitShapes(s, placement)) return false;
  for (const Reference& ref : s.references) {
    if (ref.structure < 0 || !draws_[ref.structure]) continue;
    if (!WalkReference(ref, placement)) return false;
  }
  return true;
}

bool Flattener::WalkReference(const Reference& ref, const Placement& placement) {
  for (int32_t row = 0; row < ref.rows; ++row) {
    for (int32_t column = 0; column < ref.columns; ++column) {
      Placement instance = ref.placement;
      instance.tx += column * ref.column_dx + row * ref.row_dx;
      instance.ty += column * ref.column_dy + row * ref.row_dy;
      if (!Walk(ref.structure, placement.Then(instance))) return false;
    }
  }
  return true;
}

bool Flattener::EmitShapes(const Structure& s, const Placement& placement) {
  size_t placed = 0;
  for (const LocalQuad& quad : s.quads) {
    if (++placed % kPollShapes == 0 && Stopped()) return false;
    Count(EmitQuad(quad, placement, sink_));
  }
  for (const LocalSector& sector : s.sectors) {
    if (++placed % kPollShapes == 0 && Stopped()) return false;
    Count(EmitSector(sector, placement, sink_));
  }
  for (const Stroke& stroke : s.strokes) {
    if (++placed % kPollShapes == 0 && Stopped()) return false;
    EmitStroke(s, stroke, placement);
  }
  return true;
}

// Strokes are swept after placing, so that the pen keeps its width at any magnification.
void Flattener::EmitStroke(const Structure& s, const Stroke& stroke, const Placement& placement) {
  placed_.clear();
  for (uint32_t i = 0; i < stroke.count; ++i) {
    double x = 0, y = 0;
    placement.Apply(s.stroke_points[2 * (stroke.first + i)],
                    s.stroke_points[2 * (stroke.first + i) + 1], &x, &y);
    int32_t ix = 0, iy = 0;
    if (!RoundCoordinate(x, &ix) || !RoundCoordinate(y, &iy)) {
      ++report_.out_of_range;
      return;
    }
    placed_.push_back(ix);
    placed_.push_back(iy);
  }
  stroke_quads_.clear();
  if (!StrokeShapes(placed_, settings_.stroke_width, stroke.layer, cutter_, stroke_quads_)) {
    ++report_.incomplete_strokes;
  }
  for (const LocalQuad& quad : stroke_quads_) Count(EmitQuad(quad, Placement(), sink_));
}

}  // namespace

StepResult FlattenLayout(const Layout& layout, int32_t top, const FlattenSettings& settings,
                         ShapeSink& sink, FlattenReport* report, std::string* error) {
  *report = FlattenReport();
  if (top < 0 || top >= static_cast<int32_t>(layout.structures.size())) {
    *error = "the top structure is not in the translated stream";
    return StepResult::kFailed;
  }
  TreeCheck check(layout);
  if (!check.Run(top, error)) return StepResult::kFailed;
  Flattener flattener(layout, check.draws(), settings, sink, *report);
  return flattener.Walk(top, Placement()) ? StepResult::kDone : StepResult::kCancelled;
}

}  // namespace kavrinth
