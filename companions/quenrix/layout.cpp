// Reading the translated stream into structures of quadrilaterals, sectors, strokes and
// references, one record at a time.
#include "companions/quenrix/layout.h"

#include <algorithm>
#include <cmath>

#include "companions/quenrix/header_stream.h"
#include "companions/quenrix/pg_log.h"
#include "gdsii/record_reader.h"

namespace kavrinth {
namespace {

constexpr double kDegrees = 57.29577951308232;
// Records read between two looks at the cancel flag.
constexpr uint64_t kPollRecords = 4096;
// STRANS bit of a reflected reference.
constexpr int kReflectBit = 0x8000;

// Data type and least number of items of the records this reader decodes.
struct FieldRule {
  int type;
  int data_type;
  size_t min_items;
};
constexpr FieldRule kFieldRules[] = {
    {kGdsUnits, kGdsTypeReal8, 2},    {kGdsStrName, kGdsTypeAscii, 0},
    {kGdsLayer, kGdsTypeInt16, 1},    {kGdsWidth, kGdsTypeInt32, 1},
    {kGdsXy, kGdsTypeInt32, 2},       {kGdsSname, kGdsTypeAscii, 0},
    {kGdsColRow, kGdsTypeInt16, 2},   {kGdsStrans, kGdsTypeBitArray, 1},
    {kGdsMag, kGdsTypeReal8, 1},      {kGdsAngle, kGdsTypeReal8, 1},
    {kGdsPathType, kGdsTypeInt16, 1},
};

// Records of the library and structure frame; every other record is an element opener
// or a field of an element.
constexpr int kFrameRecords[] = {kGdsHeader, kGdsBgnLib,  kGdsLibName, kGdsUnits,   kGdsEndLib,
                                 kGdsBgnStr, kGdsStrName, kGdsEndStr,  kGdsRefLibs, kGdsFonts};

bool IsFrame(int type) {
  return std::find(std::begin(kFrameRecords), std::end(kFrameRecords), type) !=
         std::end(kFrameRecords);
}

bool IsOpener(int type) {
  constexpr int kStandard[] = {kGdsBoundary, kGdsPath, kGdsSref, kGdsAref,
                               kGdsText,     kGdsNode, kGdsBox};
  if (type >= kGdsFirstExtRecordKind) return type != kGdsExtSettingInt32;
  return std::find(std::begin(kStandard), std::end(kStandard), type) != std::end(kStandard);
}

std::string RecordLabel(int type) {
  std::string_view name = GdsRecordName(type);
  return name.empty() ? "record " + std::to_string(type) : std::string(name);
}

// The fields of the element being read.
struct ElementFields {
  int kind = 0;
  int first_field = -1;
  bool has_layer = false;
  int layer = 0;
  int32_t width = 0;
  int pathtype = 0;
  std::vector<int32_t> xy;      // every XY value in order
  std::vector<size_t> xy_ends;  // where each XY record's values end
  std::string sname;
  int strans = 0;
  std::vector<double> mags;
  std::vector<double> angles;
  int columns = 0;
  int rows = 0;

  void Clear(int opener) {
    kind = opener;
    first_field = -1;
    has_layer = false;
    layer = width = pathtype = strans = columns = rows = 0;
    xy.clear();
    xy_ends.clear();
    sname.clear();
    mags.clear();
    angles.clear();
  }
  size_t Points() const { return xy.size() / 2; }
};

class StreamParser {
 public:
  StreamParser(const std::vector<bool>& layers, PostProcessorLog& log, Layout* layout)
      : layers_(layers), log_(log), layout_(*layout) {}

  StepResult Run(GdsRecordReader& reader, volatile int* cancel_flag, std::string* error);

 private:
  enum class Where { kStart, kLibrary, kStructureName, kStructure, kElement, kSetting, kGroup };

  bool CheckRule(const GdsRecord& r);
  bool Take(const GdsRecord& r);
  bool TakeInElement(const GdsRecord& r);
  bool TakeFrame(const GdsRecord& r);
  bool TakeInStructure(const GdsRecord& r);
  bool TakeField(const GdsRecord& r);
  bool Fail(const GdsRecord& r, const std::string& what);
  bool TakeUnits(const GdsRecord& r);
  void BeginStructure(std::string name);
  void FinishElement();
  void ResolveReferences();

  void AddBoundary();
  void AddBox();
  void AddPath();
  void AddReference();
  void AddCircle();
  void AddArc();
  void AddStroke();
  void AddRing(double centre_x, double centre_y, double radius, int32_t width, double start,
               double sweep, const char* what);
  bool OnOutputLayer() const;
  void Warn(const std::string& what);
  Structure& Current() { return layout_.structures[current_]; }
  // Where the reader is between elements.
  Where Outside() const { return current_ >= 0 ? Where::kStructure : Where::kLibrary; }

  const std::vector<bool>& layers_;
  PostProcessorLog& log_;
  Layout& layout_;
  Where where_ = Where::kStart;
  int32_t current_ = -1;  // structure being read
  bool after_text_ = false;
  int text_layer_ = -1;
  ElementFields e_;
  PolygonCutter cutter_;
  std::string error_;
  struct PendingName {
    int32_t structure;
    size_t reference;
    std::string name;
  };
  std::vector<PendingName> pending_;
};

StepResult StreamParser::Run(GdsRecordReader& reader, volatile int* cancel_flag,
                             std::string* error) {
  GdsRecord record;
  GdsReadStatus status;
  uint64_t count = 0;
  while ((status = reader.Next(&record)) == GdsReadStatus::kRecord) {
    if (++count % kPollRecords == 0 && cancel_flag != nullptr && *cancel_flag != 0) {
      return StepResult::kCancelled;
    }
    if (!Take(record)) {
      *error = error_;
      return StepResult::kFailed;
    }
  }
  if (status == GdsReadStatus::kError) {
    *error = reader.error();
    return StepResult::kFailed;
  }
  ResolveReferences();
  return StepResult::kDone;
}

bool StreamParser::Fail(const GdsRecord& r, const std::string& what) {
  error_ = RecordLabel(r.type) + " at offset " + std::to_string(r.offset) + ": " + what;
  return false;
}

bool StreamParser::CheckRule(const GdsRecord& r) {
  for (const FieldRule& rule : kFieldRules) {
    if (rule.type != r.type) continue;
    if (r.data_type != rule.data_type) return Fail(r, "holds data of the wrong type");
    if (r.Count() < rule.min_items) return Fail(r, "holds too few values");
    if (r.type == kGdsXy && r.Count() % 2 != 0) return Fail(r, "holds half a point");
  }
  return true;
}

bool StreamParser::Take(const GdsRecord& r) {
  if (!CheckRule(r)) return false;
  switch (where_) {
    case Where::kStart:
      if (r.type != kGdsHeader) return Fail(r, "the stream does not begin with HEADER");
      where_ = Where::kLibrary;
      return true;
    case Where::kStructureName:
      if (r.type != kGdsStrName) return Fail(r, "where STRNAME was expected");
      BeginStructure(std::string(r.Text()));
      where_ = Where::kStructure;
      return true;
    case Where::kElement:
      return TakeInElement(r);
    case Where::kSetting:  // a named setting ends with its second bracket record
      if (r.type == kGdsExtNamedSetting) where_ = Outside();
      return true;
    case Where::kGroup:  // a group record's fields run up to the next element or frame record
      if (!IsOpener(r.type) && !IsFrame(r.type) && r.type != kGdsEndEl) return true;
      where_ = Outside();
      return Take(r);
    default:
      return IsFrame(r.type) ? TakeFrame(r) : TakeInStructure(r);
  }
}

bool StreamParser::TakeInElement(const GdsRecord& r) {
  if (r.type == kGdsEndEl) {
    FinishElement();
    where_ = Outside();
    return true;
  }
  if (IsOpener(r.type) || IsFrame(r.type)) {
    return Fail(r, "inside an unfinished " + RecordLabel(e_.kind) + " element");
  }
  return TakeField(r);
}

bool StreamParser::TakeFrame(const GdsRecord& r) {
  const bool in_structure = where_ == Where::kStructure;
  switch (r.type) {
    case kGdsEndStr:
      if (!in_structure) return Fail(r, "outside a structure");
      current_ = -1;
      where_ = Where::kLibrary;
      return true;
    case kGdsBgnStr:
      if (in_structure) return Fail(r, "inside a structure");
      if (layout_.user_units_per_database_unit == 0) return Fail(r, "before UNITS");
      where_ = Where::kStructureName;
      return true;
    case kGdsUnits:
      return in_structure ? Fail(r, "inside a structure") : TakeUnits(r);
    case kGdsEndLib:
      return in_structure ? Fail(r, "inside a structure") : true;
    case kGdsHeader:
      return Fail(r, "a second HEADER");
    case kGdsStrName:
      return Fail(r, "not after BGNSTR");
    default:
      return in_structure ? Fail(r, "inside a structure") : true;
  }
}

bool StreamParser::TakeUnits(const GdsRecord& r) {
  double user = r.Real8(0).value_or(0), metres = r.Real8(1).value_or(0);
  if (!(user > 0 && std::isfinite(user) && metres > 0 && std::isfinite(metres))) {
    return Fail(r, "the units are not positive numbers");
  }
  layout_.user_units_per_database_unit = user;
  layout_.metres_per_database_unit = metres;
  return true;
}

bool StreamParser::TakeInStructure(const GdsRecord& r) {
  if (r.type == kGdsExtNamedSetting) {
    where_ = Where::kSetting;
  } else if (r.type == kGdsExtGroup) {
    where_ = Where::kGroup;
  } else if (IsOpener(r.type)) {
    e_.Clear(r.type);
    where_ = Where::kElement;
  } else if (current_ >= 0) {
    // Stray field records are left out; the elements around them are still drawn.
    Warn(RecordLabel(r.type) + " outside an element is ignored");
  } else if (r.type == kGdsEndEl) {
    return Fail(r, "outside an element");
  }
  return true;
}

bool StreamParser::TakeField(const GdsRecord& r) {
  if (e_.first_field < 0) e_.first_field = r.type;
  switch (r.type) {
    case kGdsLayer:
      e_.has_layer = true;
      e_.layer = *r.Int16(0);
      break;
    case kGdsWidth:
      e_.width = *r.Int32(0);
      break;
    case kGdsPathType:
      e_.pathtype = *r.Int16(0);
      break;
    case kGdsXy:
      for (size_t i = 0; i < r.Count(); ++i) e_.xy.push_back(*r.Int32(i));
      e_.xy_ends.push_back(e_.xy.size());
      break;
    case kGdsSname:
      e_.sname = r.Text();
      break;
    case kGdsStrans:
      e_.strans = static_cast<uint16_t>(*r.Int16(0));
      break;
    case kGdsMag:
    case kGdsAngle:
      for (size_t i = 0; i < r.Count(); ++i) {
        (r.type == kGdsMag ? e_.mags : e_.angles).push_back(*r.Real8(i));
      }
      break;
    case kGdsColRow:
      e_.columns = *r.Int16(0);
      e_.rows = *r.Int16(1);
      break;
    default:
      break;  // fields that do not change what is drawn
  }
  return true;
}

void StreamParser::BeginStructure(std::string name) {
  auto [it, added] = layout_.index.try_emplace(name, int32_t(layout_.structures.size()));
  if (!added) {
    log_.Warning("structure '" + name + "' is defined twice; its first definition is used");
  }
  current_ = static_cast<int32_t>(layout_.structures.size());
  layout_.structures.push_back(Structure{std::move(name), {}, {}, {}, {}, {}});
  after_text_ = false;
}

void StreamParser::Warn(const std::string& what) {
  log_.Warning("structure '" + Current().name + "': " + what);
}

bool StreamParser::OnOutputLayer() const {
  return e_.has_layer && e_.layer >= 0 && e_.layer < kPgLayerCount && layers_[e_.layer];
}

// Text strokes are the boundaries on the text's layer that open with ELFLAGS right after
// a TEXT element (the engine writes them so); they hold open polylines, or closed ones
// that are outlines (an "O"), not areas.
void StreamParser::FinishElement() {
  if (current_ < 0) return;  // elements outside structures are not drawn
  const bool stroke = after_text_ && e_.kind == kGdsBoundary && e_.first_field == kGdsElFlags &&
                      e_.has_layer && e_.layer == text_layer_;
  after_text_ = (e_.kind == kGdsText && e_.has_layer) || stroke;
  if (e_.kind == kGdsText) text_layer_ = e_.layer;
  if (e_.kind == kGdsSref || e_.kind == kGdsAref) return AddReference();
  if (!OnOutputLayer()) return;
  switch (e_.kind) {
    case kGdsBoundary:
      return stroke ? AddStroke() : AddBoundary();
    case kGdsBox:
      return AddBox();
    case kGdsPath:
      return AddPath();
    case kGdsExtCircle:
      return AddCircle();
    case kGdsExtArc:
      return AddArc();
    case kGdsExtTwoRadiusArc:
      return Warn("a two-radius arc is not drawn");
    default:
      return;  // texts, nodes and the system's other kinds have no area
  }
}

void StreamParser::AddBoundary() {
  if (e_.Points() < 3) {
    return Warn("a BOUNDARY of " + std::to_string(e_.Points()) + " points is not drawn");
  }
  if (!cutter_.Cut(e_.xy, int16_t(e_.layer), Current().quads)) {
    Warn("a BOUNDARY is not wholly drawn: it leaves the coordinate range or is too complex");
  }
}

void StreamParser::AddBox() {
  if (e_.Points() < 4) return Warn("a BOX of fewer than 4 points is not drawn");
  if (!cutter_.Cut(std::span(e_.xy).first(8), int16_t(e_.layer), Current().quads)) {
    Warn("a BOX is not wholly drawn: it leaves the coordinate range");
  }
}

// A path may hold several XY records, each a piece of its centre line.
void StreamParser::AddPath() {
  if (e_.width == 0) return Warn("a path of width 0 has no area and is not drawn");
  size_t begin = 0;
  for (size_t end : e_.xy_ends) {
    auto piece = std::span(e_.xy).subspan(begin, end - begin);
    begin = end;
    if (!PathShapes(piece, e_.width, e_.pathtype, int16_t(e_.layer), cutter_, Current().quads,
                    Current().sectors)) {
      Warn("a path of " + std::to_string(piece.size() / 2) + " points is not wholly drawn");
    }
  }
}

void StreamParser::AddStroke() {
  if (e_.Points() < 2) return;
  Structure& s = Current();
  s.strokes.push_back(
      {uint32_t(s.stroke_points.size() / 2), uint32_t(e_.Points()), int16_t(e_.layer)});
  s.stroke_points.insert(s.stroke_points.end(), e_.xy.begin(), e_.xy.end());
}

void StreamParser::AddReference() {
  const size_t needed = e_.kind == kGdsAref ? 3 : 1;
  const double magnification = e_.mags.empty() ? 1.0 : e_.mags.front();
  const double angle = e_.angles.empty() ? 0.0 : e_.angles.front();
  if (e_.sname.empty() || e_.Points() < needed) {
    return Warn("a reference without its structure name or position is not drawn");
  }
  if (!(magnification > 0 && std::isfinite(magnification) && std::isfinite(angle))) {
    return Warn("a reference to '" + e_.sname + "' with an unusable MAG or ANGLE is not drawn");
  }
  Reference ref;
  ref.placement =
      Placement::Of(e_.xy[0], e_.xy[1], magnification, angle, (e_.strans & kReflectBit) != 0);
  if (e_.kind == kGdsAref) {
    if (e_.columns < 1 || e_.rows < 1) {
      Warn("an array of '" + e_.sname + "' has a column or row count below 1, taken as 1");
    }
    ref.columns = std::max(1, e_.columns);
    ref.rows = std::max(1, e_.rows);
    ref.column_dx = (double(e_.xy[2]) - e_.xy[0]) / ref.columns;
    ref.column_dy = (double(e_.xy[3]) - e_.xy[1]) / ref.columns;
    ref.row_dx = (double(e_.xy[4]) - e_.xy[0]) / ref.rows;
    ref.row_dy = (double(e_.xy[5]) - e_.xy[1]) / ref.rows;
  }
  Structure& s = Current();
  pending_.push_back({current_, s.references.size(), e_.sname});
  s.references.push_back(ref);
}

void StreamParser::AddCircle() {
  if (e_.mags.empty() || e_.Points() < 1) return Warn("a circle without radius or centre");
  const double radius = std::fabs(e_.mags.front()) / layout_.user_units_per_database_unit;
  AddRing(e_.xy[0], e_.xy[1], radius, e_.width, 0, 360, "circle");
}

// The arc's last point is its centre, the two before it its start and end; it runs
// counter-clockwise from the first angle to the second (from the start point to the
// end point when the angles are missing).
void StreamParser::AddArc() {
  if (e_.Points() < 3) return Warn("an arc without its three points is not drawn");
  const size_t n = e_.Points();
  const double cx = e_.xy[2 * n - 2], cy = e_.xy[2 * n - 1];
  double start = std::atan2(e_.xy[1] - cy, e_.xy[0] - cx) * kDegrees;
  double end = std::atan2(e_.xy[3] - cy, e_.xy[2] - cx) * kDegrees;
  if (e_.angles.size() >= 2) {
    start = e_.angles[0];
    end = e_.angles[1];
  }
  double radius = e_.mags.empty()
                      ? std::hypot(e_.xy[0] - cx, e_.xy[1] - cy)
                      : std::fabs(e_.mags.front()) / layout_.user_units_per_database_unit;
  if (e_.width == 0) return Warn("an arc of width 0 has no area and is not drawn");
  if (!std::isfinite(start) || !std::isfinite(end)) return Warn("an arc with unusable angles");
  double sweep = std::fmod(end - start, 360.0);
  if (sweep <= 0) sweep += 360;
  AddRing(cx, cy, radius, e_.width, start, sweep, "arc");
}

// A band of the given width centred on the radius; width 0 fills the whole radius.
void StreamParser::AddRing(double centre_x, double centre_y, double radius, int32_t width,
                           double start, double sweep, const char* what) {
  const double half = std::fabs(double(width)) / 2;
  const double outer = radius + half, inner = width == 0 ? 0 : std::max(0.0, radius - half);
  if (!(outer > 0 && std::isfinite(outer))) {
    return Warn(std::string("a ") + what + " of radius 0 has no area and is not drawn");
  }
  Current().sectors.push_back({centre_x, centre_y, inner, outer, start, sweep, int16_t(e_.layer)});
}

void StreamParser::ResolveReferences() {
  for (const PendingName& p : pending_) {
    int32_t target = layout_.Find(p.name);
    layout_.structures[p.structure].references[p.reference].structure = target;
    if (target < 0) {
      log_.Warning("structure '" + layout_.structures[p.structure].name + "' refers to '" + p.name +
                   "', which is not in the translated stream");
    }
  }
  pending_.clear();
}

}  // namespace

int32_t Layout::Find(std::string_view name) const {
  auto it = index.find(std::string(name));
  return it == index.end() ? -1 : it->second;
}

StepResult ReadTranslatedStream(std::string_view path, const std::vector<bool>& output_layers,
                                volatile int* cancel_flag, PostProcessorLog& log, Layout* layout,
                                std::string* error) {
  *layout = Layout();
  GdsRecordReader reader;
  if (!reader.Open(path)) {
    *error = "the translated stream '" + std::string(path) + "' cannot be read: " + reader.error();
    return StepResult::kFailed;
  }
  StreamParser parser(output_layers, log, layout);
  std::string why;
  StepResult result = parser.Run(reader, cancel_flag, &why);
  if (result == StepResult::kFailed) {
    *error = "the translated stream '" + std::string(path) + "' is not valid: " + why;
  }
  return result;
}

}  // namespace kavrinth
