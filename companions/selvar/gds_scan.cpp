// The streaming GDSII scan: record order checks, element fields, layers, counts,
// references and the hull of each structure's own geometry.
#include "companions/selvar/gds_scan.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <numbers>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "gdsii/record_reader.h"
#include "gdsii/records.h"
#include "support/ordered_pipeline.h"

namespace kavrinth {
namespace {

constexpr int kGdsBgnExtn = 48;
constexpr int kGdsEndExtn = 49;
// A structure's points are folded into their hull whenever this many have gathered.
constexpr size_t kHullFoldSize = size_t{1} << 20;
constexpr uint16_t kReflectBit = 0x8000;

// Records that begin an element (ENDEL, a closing named setting, or for a group the next
// element ends it).
bool IsOpener(int type) {
  switch (type) {
    case kGdsBoundary:
    case kGdsPath:
    case kGdsSref:
    case kGdsAref:
    case kGdsText:
    case kGdsNode:
    case kGdsBox:
      return true;
    default:
      return type >= kGdsFirstExtRecordKind && type != kGdsExtSettingInt32;
  }
}

bool IsLibraryRecord(int type) {
  switch (type) {
    case kGdsHeader:
    case kGdsBgnLib:
    case kGdsLibName:
    case kGdsUnits:
    case kGdsEndLib:
    case kGdsBgnStr:
    case kGdsStrName:
    case kGdsEndStr:
    case kGdsEndEl:
    case kGdsRefLibs:
    case kGdsFonts:
      return true;
    default:
      return false;
  }
}

// Data type and least item count of the records the scan decodes.
struct FieldRule {
  int type;
  int data_type;
  size_t min_items;
};
constexpr FieldRule kFieldRules[] = {
    {kGdsLayer, kGdsTypeInt16, 1},     {kGdsWidth, kGdsTypeInt32, 1},
    {kGdsXy, kGdsTypeInt32, 0},        {kGdsSname, kGdsTypeAscii, 0},
    {kGdsStrans, kGdsTypeBitArray, 1}, {kGdsMag, kGdsTypeReal8, 1},
    {kGdsAngle, kGdsTypeReal8, 1},     {kGdsColRow, kGdsTypeInt16, 2},
    {kGdsPathType, kGdsTypeInt16, 1},  {kGdsBgnExtn, kGdsTypeInt32, 1},
    {kGdsEndExtn, kGdsTypeInt32, 1},   {kGdsUnits, kGdsTypeReal8, 2},
    {kGdsStrName, kGdsTypeAscii, 0},   {kGdsLibName, kGdsTypeAscii, 0},
};

// The rule of each record type (types are one byte), looked up for every record.
struct RuleTable {
  std::array<const FieldRule*, 256> rules{};
  constexpr RuleTable() {
    for (const FieldRule& rule : kFieldRules) rules[static_cast<size_t>(rule.type)] = &rule;
  }
};
constexpr RuleTable kRuleTable;

const FieldRule* FindRule(int type) {
  return type >= 0 && type < 256 ? kRuleTable.rules[static_cast<size_t>(type)] : nullptr;
}

double Cross(ScanPoint o, ScanPoint a, ScanPoint b) {
  return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
};

// The fields of the element being read.
struct ElementFields {
  int kind = 0;
  bool has_layer = false;
  int layer = 0;
  int32_t width = 0;
  int pathtype = 0;
  int32_t begin_extension = 0;
  int32_t end_extension = 0;
  std::optional<uint32_t> child;
  uint16_t strans = 0;
  double magnification = 1;
  double angle = 0;
  int columns = 0;
  int rows = 0;
  std::vector<double> reals;  // every MAG value (radii of the system's arcs)
  std::vector<ScanPoint> points;

  void Clear(int new_kind) {
    kind = new_kind;
    has_layer = false;
    layer = width = pathtype = begin_extension = end_extension = 0;
    child.reset();
    strans = 0;
    magnification = 1;
    angle = 0;
    columns = rows = 0;
    reals.clear();
    points.clear();
  }
};

// Folds the points of finished structures into their hulls on worker threads while the
// scan reads on. A structure's hull is the ConvexHull of the same points as on one
// thread; only the thread that computes it differs, and the hulls reach the structures
// once every fold is done.
class HullFolder {
 public:
  explicit HullFolder(int workers) : workers_(static_cast<size_t>(std::max(workers, 1))) {}
  ~HullFolder() { Abandon(); }
  HullFolder(const HullFolder&) = delete;
  HullFolder& operator=(const HullFolder&) = delete;

  // Takes the points of the structure for folding.
  void Add(uint32_t structure, std::vector<ScanPoint>* points);
  // Waits for every fold, helping with the ones not yet begun, and gives each structure
  // its hull.
  void Finish(GdsScan* scan);

 private:
  struct Task {
    uint32_t structure = 0;
    std::vector<ScanPoint> points;
    std::vector<ScanPoint> hull;
  };
  // Folds the task, then counts its points as no longer held.
  void Fold(Task& task) {
    const size_t points = task.points.size();
    ConvexHull(&task.points, &task.hull);
    std::vector<ScanPoint>().swap(task.points);
    std::lock_guard<std::mutex> lock(mutex_);
    held_points_ -= points;
  }
  void Work();
  void Abandon();

  size_t workers_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Task> tasks_;  // a deque keeps the tasks in place as more are added
  size_t taken_ = 0;        // tasks a thread has begun
  size_t held_points_ = 0;  // points of the tasks not yet folded
  bool closing_ = false;
};

void HullFolder::Add(uint32_t structure, std::vector<ScanPoint>* points) {
  std::unique_lock<std::mutex> lock(mutex_);
  held_points_ += points->size();
  tasks_.push_back({structure, std::move(*points), {}});
  points->clear();
  if (threads_.size() < workers_) {
    try {
      threads_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      workers_ = threads_.size();  // no more threads may start: fold with those there are
    }
  }
  // More waiting folds than the workers take soon, more points held than a few folds'
  // worth, or no worker: the scanning thread folds one itself, which bounds the memory.
  if (tasks_.size() - taken_ > 2 * workers_ || held_points_ > 4 * kHullFoldSize) {
    Task& task = tasks_[taken_++];
    lock.unlock();
    Fold(task);
    return;
  }
  lock.unlock();
  ready_.notify_one();
}

void HullFolder::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    ready_.wait(lock, [this] { return taken_ < tasks_.size() || closing_; });
    if (taken_ == tasks_.size()) return;
    Task& task = tasks_[taken_++];
    lock.unlock();
    Fold(task);
    lock.lock();
  }
}

void HullFolder::Finish(GdsScan* scan) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  ready_.notify_all();
  Work();
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();
  for (Task& task : tasks_) scan->structures[task.structure].hull.swap(task.hull);
  tasks_.clear();
  taken_ = 0;
}

void HullFolder::Abandon() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    taken_ = tasks_.size();  // folds not yet begun are not wanted
  }
  ready_.notify_all();
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();
}

class Scanner {
 public:
  Scanner(GdsScan* scan, const GdsScanOptions& options)
      : scan_(*scan), max_structures_(options.max_structures), hulls_(options.hulls) {
    const int threads = hulls_ ? WorkerThreadCount(options.threads, "SELVAR_THREADS") : 1;
    if (threads > 1) folder_ = std::make_unique<HullFolder>(threads - 1);
  }

  bool Take(const GdsRecord& record);
  bool Finish();
  const std::string& error() const { return error_; }

 private:
  bool Fail(const GdsRecord& record, const std::string& what);
  bool CheckRule(const GdsRecord& record);
  bool TakeInElement(const GdsRecord& record);
  bool TakeOutside(const GdsRecord& record);
  bool TakeLibraryRecord(const GdsRecord& record);
  bool TakeStructureName(const GdsRecord& record);
  bool DecodeField(const GdsRecord& record);
  bool FinishElement(const GdsRecord& record);
  bool AddReference(const GdsRecord& record);
  void AddPathOutline();
  void AddSquare(ScanPoint p, double half);
  void AddPoint(ScanPoint p);
  void FoldPoints();
  uint32_t Intern(std::string_view name);
  ScanStructure& Current() { return scan_.structures[current_]; }

  GdsScan& scan_;
  size_t max_structures_;
  bool hulls_;                          // gather the points of the structures' hulls
  std::unique_ptr<HullFolder> folder_;  // folds finished structures on other threads
  std::unordered_map<std::string, uint32_t, NameHash, std::equal_to<>> index_;
  bool started_ = false;
  bool ended_ = false;
  bool has_units_ = false;
  bool in_structure_ = false;
  bool named_ = false;  // STRNAME seen for the open structure
  bool element_open_ = false;
  uint32_t current_ = 0;
  ElementFields element_;
  std::vector<ScanPoint> points_;  // geometry of the open structure
  std::vector<ScanPoint> fold_;
  std::string error_;
};

bool Scanner::Fail(const GdsRecord& record, const std::string& what) {
  std::string name(GdsRecordName(record.type));
  if (name.empty()) name = "record " + std::to_string(record.type);
  error_ = name + " at byte " + std::to_string(record.offset) + ": " + what;
  return false;
}

bool Scanner::CheckRule(const GdsRecord& record) {
  const FieldRule* rule = FindRule(record.type);
  if (rule == nullptr) return true;
  if (record.data_type != rule->data_type) {
    return Fail(record, "data type " + std::to_string(record.data_type) + ", expected " +
                            std::to_string(rule->data_type));
  }
  const size_t count = record.Count();
  if (count < rule->min_items) {
    return Fail(record, "holds " + std::to_string(count) + " values, expected at least " +
                            std::to_string(rule->min_items));
  }
  if (record.type == kGdsXy && count % 2 != 0) return Fail(record, "an odd coordinate count");
  return true;
}

bool Scanner::Take(const GdsRecord& record) {
  if (!started_) {
    if (record.type != kGdsHeader) return Fail(record, "the stream does not begin with HEADER");
    started_ = true;
    return true;
  }
  if (!CheckRule(record)) return false;
  return element_open_ ? TakeInElement(record) : TakeOutside(record);
}

bool Scanner::TakeInElement(const GdsRecord& record) {
  const int kind = element_.kind;
  if (record.type == kGdsEndEl) {
    if (kind == kGdsExtNamedSetting || kind == kGdsExtGroup) {
      return Fail(record, "ends no element here");
    }
    element_open_ = false;
    return FinishElement(record);
  }
  if (kind == kGdsExtNamedSetting && record.type == kGdsExtNamedSetting) {
    element_open_ = false;
    return true;
  }
  if (!IsOpener(record.type) && !IsLibraryRecord(record.type)) return DecodeField(record);
  // A group has no ENDEL: the next element or structure record ends it.
  if (kind == kGdsExtGroup) {
    element_open_ = false;
    return TakeOutside(record);
  }
  return Fail(record, "inside an unfinished element");
}

bool Scanner::TakeOutside(const GdsRecord& record) {
  if (IsOpener(record.type)) {
    if (in_structure_ && !named_) return Fail(record, "before the structure's STRNAME");
    element_.Clear(record.type);
    element_open_ = true;
    return true;
  }
  if (IsLibraryRecord(record.type)) return TakeLibraryRecord(record);
  if (FindRule(record.type) != nullptr) return Fail(record, "outside an element");
  return true;  // a library record the scan does not need
}

bool Scanner::TakeLibraryRecord(const GdsRecord& record) {
  switch (record.type) {
    case kGdsEndEl:
      return Fail(record, "outside an element");
    case kGdsHeader:
      return Fail(record, "a second HEADER");
    case kGdsLibName:
      scan_.library_name = std::string(record.Text());
      return true;
    case kGdsUnits:
      scan_.user_units_per_database_unit = *record.Real8(0);
      scan_.metres_per_database_unit = *record.Real8(1);
      has_units_ = true;
      return true;
    case kGdsBgnStr:
      if (in_structure_) return Fail(record, "inside a structure");
      in_structure_ = true;
      named_ = false;
      points_.clear();
      return true;
    case kGdsStrName:
      return TakeStructureName(record);
    case kGdsEndStr:
      if (!in_structure_ || !named_) return Fail(record, "outside a named structure");
      if (folder_) {
        folder_->Add(current_, &points_);
      } else if (hulls_) {
        FoldPoints();
        Current().hull.swap(fold_);
      }
      in_structure_ = false;
      return true;
    case kGdsEndLib:
      if (in_structure_) return Fail(record, "inside a structure");
      ended_ = true;
      return true;
    default:  // BGNLIB, REFLIBS, FONTS
      return in_structure_ ? Fail(record, "inside a structure") : true;
  }
}

bool Scanner::TakeStructureName(const GdsRecord& record) {
  if (!in_structure_ || named_) return Fail(record, "outside BGNSTR");
  const std::string_view name = record.Text();
  current_ = Intern(name);
  if (Current().defined)
    return Fail(record, "structure '" + std::string(name) + "' is defined twice");
  if (max_structures_ > 0 && scan_.definition_order.size() == max_structures_) {
    return Fail(record,
                "the library holds more than " + std::to_string(max_structures_) + " structures");
  }
  Current().defined = true;
  scan_.definition_order.push_back(current_);
  named_ = true;
  return true;
}

uint32_t Scanner::Intern(std::string_view name) {
  const auto found = index_.find(name);
  if (found != index_.end()) return found->second;
  const auto index = static_cast<uint32_t>(scan_.structures.size());
  scan_.structures.push_back({});
  scan_.structures.back().name = std::string(name);
  index_.emplace(std::string(name), index);
  return index;
}

bool Scanner::DecodeField(const GdsRecord& r) {
  ElementFields& e = element_;
  switch (r.type) {
    case kGdsLayer:
      e.has_layer = true;
      e.layer = static_cast<uint16_t>(*r.Int16(0));
      break;
    case kGdsWidth:
      e.width = *r.Int32(0);
      break;
    case kGdsPathType:
      e.pathtype = *r.Int16(0);
      break;
    case kGdsBgnExtn:
      e.begin_extension = *r.Int32(0);
      break;
    case kGdsEndExtn:
      e.end_extension = *r.Int32(0);
      break;
    case kGdsXy:
      // Without hulls only a reference needs its points.
      if (!hulls_ && e.kind != kGdsSref && e.kind != kGdsAref) break;
      for (size_t i = 0, count = r.Count(); i + 1 < count; i += 2) {
        e.points.push_back(
            {static_cast<double>(*r.Int32(i)), static_cast<double>(*r.Int32(i + 1))});
      }
      break;
    case kGdsSname:
      e.child = Intern(r.Text());
      break;
    case kGdsStrans:
      e.strans = static_cast<uint16_t>(*r.Int16(0));
      break;
    case kGdsMag:
      e.magnification = *r.Real8(0);
      for (size_t i = 0; i < r.Count(); ++i) e.reals.push_back(*r.Real8(i));
      break;
    case kGdsAngle:
      e.angle = *r.Real8(0);
      break;
    case kGdsColRow:
      e.columns = *r.Int16(0);
      e.rows = *r.Int16(1);
      break;
    default:
      break;  // fields the scan does not need
  }
  return true;
}

void Scanner::AddPoint(ScanPoint p) {
  points_.push_back(p);
  if (points_.size() >= kHullFoldSize) {
    FoldPoints();
    points_.swap(fold_);
  }
}

void Scanner::FoldPoints() { ConvexHull(&points_, &fold_); }

void Scanner::AddSquare(ScanPoint p, double half) {
  AddPoint({p.x - half, p.y - half});
  AddPoint({p.x + half, p.y - half});
  AddPoint({p.x + half, p.y + half});
  AddPoint({p.x - half, p.y + half});
}

void Scanner::AddPathOutline() {
  // Each segment's rectangle, the path's end extensions, and the outer mitre point of
  // every join that turns by less than 120 degrees (sharper joins are bevelled).
  const std::vector<ScanPoint>& p = element_.points;
  const double half = std::fabs(static_cast<double>(element_.width)) / 2;
  // A path without points (no XY record) has no outline; one of a single point is a square.
  if (half == 0 || p.size() <= 1) {
    for (const ScanPoint& q : p) AddSquare(q, half);
    return;
  }
  auto extension = [&](int32_t explicit_value) {
    switch (element_.pathtype) {
      case 1:
      case 2:
        return half;
      case 4:
        return static_cast<double>(explicit_value);
      default:
        return 0.0;
    }
  };
  std::optional<ScanPoint> previous;  // unit direction of the last segment
  size_t last = p.size() - 1;
  while (last > 0 && p[last].x == p[last - 1].x && p[last].y == p[last - 1].y) --last;
  for (size_t i = 0; i < last; ++i) {
    const ScanPoint a = p[i], b = p[i + 1];
    const double length = std::hypot(b.x - a.x, b.y - a.y);
    if (length == 0) continue;
    const ScanPoint d = {(b.x - a.x) / length, (b.y - a.y) / length};
    const ScanPoint n = {-d.y * half, d.x * half};
    const double start = previous ? 0 : extension(element_.begin_extension);
    const double end = i + 1 == last ? extension(element_.end_extension) : 0;
    const ScanPoint a2 = {a.x - d.x * start, a.y - d.y * start};
    const ScanPoint b2 = {b.x + d.x * end, b.y + d.y * end};
    for (const ScanPoint& q : {a2, b2}) {
      AddPoint({q.x + n.x, q.y + n.y});
      AddPoint({q.x - n.x, q.y - n.y});
    }
    if (previous) {
      const double turn_cos = previous->x * d.x + previous->y * d.y;
      const double cross = previous->x * d.y - previous->y * d.x;
      if (1 + turn_cos > 0.5 && cross != 0) {
        const double scale = half / (1 + turn_cos);
        const ScanPoint mitre = {(-previous->y - d.y) * scale, (previous->x + d.x) * scale};
        const double side = cross > 0 ? -1 : 1;  // the outer side of the turn
        AddPoint({a.x + side * mitre.x, a.y + side * mitre.y});
      }
    }
    previous = d;
  }
  if (!previous) AddSquare(p[0], half);  // every segment of zero length
}

bool Scanner::AddReference(const GdsRecord& record) {
  const ElementFields& e = element_;
  const bool array = e.kind == kGdsAref;
  if (!e.child) return Fail(record, "a reference without SNAME");
  if (e.points.size() < (array ? 3u : 1u)) return Fail(record, "a reference without its points");
  if (array && (e.columns < 1 || e.rows < 1)) {
    return Fail(record, "an array of " + std::to_string(e.columns) + " x " +
                            std::to_string(e.rows) + " instances");
  }
  if (!std::isfinite(e.magnification) || !std::isfinite(e.angle)) {
    return Fail(record, "a reference with a magnification or angle that is not a number");
  }
  ScanReference ref;
  ref.child = *e.child;
  // Quarter turns are exact, so that Manhattan placements keep whole coordinates.
  double cosine = std::cos(e.angle * std::numbers::pi / 180);
  double sine = std::sin(e.angle * std::numbers::pi / 180);
  const double quarters = e.angle / 90;
  if (quarters == std::floor(quarters) && std::fabs(quarters) < 1e9) {
    constexpr double kQuarterCos[4] = {1, 0, -1, 0};
    const auto quarter = static_cast<int>(std::fmod(std::fmod(quarters, 4) + 4, 4));
    cosine = kQuarterCos[quarter];
    sine = kQuarterCos[(quarter + 3) % 4];
  }
  const double c = cosine * e.magnification, s = sine * e.magnification;
  const double reflect = (e.strans & kReflectBit) != 0 ? -1 : 1;
  ref.xx = c;
  ref.xy = -s * reflect;
  ref.yx = s;
  ref.yy = c * reflect;
  ref.origin = e.points[0];
  if (array) {
    ref.columns = e.columns;
    ref.rows = e.rows;
    ref.column_step = {(e.points[1].x - e.points[0].x) / e.columns,
                       (e.points[1].y - e.points[0].y) / e.columns};
    ref.row_step = {(e.points[2].x - e.points[0].x) / e.rows,
                    (e.points[2].y - e.points[0].y) / e.rows};
  }
  Current().references.push_back(ref);
  ++Current().counts[array ? kCountAref : kCountSref];
  return true;
}

bool Scanner::FinishElement(const GdsRecord& record) {
  if (!in_structure_) return true;  // settings and elements at library level draw nothing
  ElementFields& e = element_;
  if (e.kind == kGdsSref || e.kind == kGdsAref) return AddReference(record);
  const bool drawn = e.kind == kGdsBoundary || e.kind == kGdsPath || e.kind == kGdsText ||
                     e.kind == kGdsBox || e.kind == kGdsExtCircle || e.kind == kGdsExtArc ||
                     e.kind == kGdsExtTwoRadiusArc || e.kind == kGdsExtKind160;
  if (!drawn) return true;
  if (e.has_layer) scan_.layers.set(static_cast<size_t>(e.layer));
  const double half_width = std::fabs(static_cast<double>(e.width)) / 2;
  switch (e.kind) {
    case kGdsBoundary:
      ++Current().counts[kCountBoundary];
      [[fallthrough]];
    case kGdsBox:
      for (const ScanPoint& p : e.points) AddPoint(p);
      break;
    case kGdsPath:
      ++Current().counts[kCountPath];
      if (hulls_) AddPathOutline();
      break;
    case kGdsText:
      ++Current().counts[kCountText];
      if (!e.points.empty()) AddPoint(e.points[0]);
      break;
    default: {
      if (!hulls_) break;
      // The system's circles and arcs: MAG holds radii in user units.
      double radius = 0;
      for (double r : e.reals) radius = std::max(radius, std::fabs(r));
      const double scale = scan_.user_units_per_database_unit;
      radius = e.kind == kGdsExtKind160 || !(scale > 0) ? 0 : radius / scale;
      for (const ScanPoint& p : e.points) AddSquare(p, radius + half_width);
      break;
    }
  }
  return true;
}

bool Scanner::Finish() {
  if (!ended_) {
    error_ = "the stream ends without ENDLIB";
    return false;
  }
  if (!has_units_ || !(scan_.user_units_per_database_unit > 0) ||
      !(scan_.metres_per_database_unit > 0)) {
    error_ = "the library has no valid UNITS record";
    return false;
  }
  if (folder_) folder_->Finish(&scan_);
  return true;
}

}  // namespace

void ConvexHull(std::vector<ScanPoint>* points, std::vector<ScanPoint>* hull) {
  std::vector<ScanPoint>& p = *points;
  std::sort(p.begin(), p.end(),
            [](ScanPoint a, ScanPoint b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
  p.erase(std::unique(p.begin(), p.end(),
                      [](ScanPoint a, ScanPoint b) { return a.x == b.x && a.y == b.y; }),
          p.end());
  hull->clear();
  if (p.size() < 3) {
    hull->assign(p.begin(), p.end());
    return;
  }
  // Andrew's monotone chain: lower hull left to right, then upper hull back.
  for (int pass = 0; pass < 2; ++pass) {
    const size_t base = hull->size();
    for (size_t k = 0; k < p.size(); ++k) {
      const ScanPoint q = pass == 0 ? p[k] : p[p.size() - 1 - k];
      while (hull->size() >= base + 2 && Cross((*hull)[hull->size() - 2], hull->back(), q) <= 0) {
        hull->pop_back();
      }
      hull->push_back(q);
    }
    hull->pop_back();  // the last point starts the other chain
  }
}

int ScanGdsFile(std::string_view path, size_t max_structures, GdsScan* scan, std::string* error) {
  GdsScanOptions options;
  options.max_structures = max_structures;
  return ScanGdsFile(path, options, scan, error);
}

int ScanGdsFile(std::string_view path, const GdsScanOptions& options, GdsScan* scan,
                std::string* error) {
  *scan = GdsScan();
  GdsRecordReader reader;
  if (!reader.Open(path)) {
    *error = reader.error();
    return 1;
  }
  Scanner scanner(scan, options);
  GdsRecord record;
  GdsReadStatus status;
  while ((status = reader.Next(&record)) == GdsReadStatus::kRecord) {
    if (!scanner.Take(record)) {
      *error = scanner.error();
      return 1;
    }
  }
  if (status == GdsReadStatus::kError) {
    *error = reader.error();
    return 1;
  }
  if (!scanner.Finish()) {
    *error = scanner.error();
    return 1;
  }
  return 0;
}

}  // namespace kavrinth
