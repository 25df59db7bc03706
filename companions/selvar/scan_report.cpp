// Writing the scan report: sections, structure order, flattened extents and the
// hierarchy drawing, through a temporary file renamed into place.
#include "companions/selvar/scan_report.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "gdsii/writer.h"
#include "platform/files.h"

namespace kavrinth {
namespace {

constexpr size_t kLayersPerLine = 16;
constexpr std::string_view kUndefinedMark = " (UNDEFINED)";

// The structures each structure references, each once, in order of first reference.
std::vector<std::vector<uint32_t>> DistinctChildren(const GdsScan& scan) {
  std::vector<std::vector<uint32_t>> children(scan.structures.size());
  std::vector<uint32_t> seen_by(scan.structures.size(), UINT32_MAX);
  for (uint32_t s : scan.definition_order) {
    for (const ScanReference& ref : scan.structures[s].references) {
      if (seen_by[ref.child] == s) continue;
      seen_by[ref.child] = s;
      children[s].push_back(ref.child);
    }
  }
  return children;
}

// A report file built under a temporary name and renamed over the target when complete.
// A target that exists and is no regular file (a device such as /dev/null, a FIFO) is
// written in place: a temporary renamed over it would replace the device itself.
class ReportFile {
 public:
  ~ReportFile() {
    if (file_ != nullptr) {
      std::fclose(file_);
      if (!temporary_.empty()) unlink(temporary_.c_str());
    }
  }

  bool Open(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    target_ = target;
    struct stat status {};
    if (::stat(target.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
      const int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC);
      file_ = fd >= 0 ? fdopen(fd, "wb") : nullptr;
      if (file_ == nullptr && fd >= 0) close(fd);
      return file_ != nullptr;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
      temporary_ = target + ".~" + std::to_string(getpid()) + "-" + std::to_string(counter++);
      int fd = open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0 && errno == EEXIST) continue;
      if (fd < 0) return false;
      file_ = fdopen(fd, "wb");
      if (file_ == nullptr) {
        close(fd);
        unlink(temporary_.c_str());
      }
      return file_ != nullptr;
    }
    return false;
  }

  // One line with a CR LF end.
  void Line(std::string_view text) {
    ok_ = ok_ && std::fwrite(text.data(), 1, text.size(), file_) == text.size() &&
          std::fwrite("\r\n", 1, 2, file_) == 2;
  }

  bool Close() {
    // A device written in place has nothing to sync (fsync fails on it) or to rename.
    const bool in_place = temporary_.empty();
    bool ok = ok_ && std::fflush(file_) == 0 && (in_place || fsync(fileno(file_)) == 0);
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (in_place) return ok;
    ok = ok && std::rename(temporary_.c_str(), target_.c_str()) == 0;
    if (!ok) unlink(temporary_.c_str());
    return ok;
  }

 private:
  std::FILE* file_ = nullptr;
  std::string target_;
  std::string temporary_;
  bool ok_ = true;
};

// A value in database units as user units, with as many decimals as the resolution has
// digits after its first (1000: three).
std::string UserValue(double database_value, const GdsScan& scan, int64_t resolution) {
  int decimals = 0;
  for (int64_t power = 1; power < resolution && decimals < 15; power *= 10) ++decimals;
  char text[64];
  double value = database_value * scan.user_units_per_database_unit;
  if (value == 0) value = 0;  // never "-0.000"
  auto [end, error] =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  return error == std::errc() ? std::string(text, end) : std::string("0");
}

// A flattened extent in whole database units, rounded outwards unless it lies on a whole
// unit but for the noise of the transforms.
double Outward(double value, bool empty, bool up) {
  if (empty) return 0;
  const double nearest = std::round(value);
  if (std::fabs(value - nearest) <= 1e-6 + 1e-12 * std::fabs(value)) return nearest;
  return up ? std::ceil(value) : std::floor(value);
}

class ReportWriter {
 public:
  ReportWriter(const GdsScan& scan, ReportFile* file) : scan_(scan), file_(*file) {}

  void Header(const ScanReportOptions& options) {
    file_.Line("HEADER");
    file_.Line("GDSII file: " + options.gds_path);
    file_.Line("Library: " + scan_.library_name);
    file_.Line("Structures: " + std::to_string(scan_.definition_order.size()));
    file_.Line("");
  }

  void StructureList() {
    file_.Line(kReportStructureListTitle);
    size_t number = 0;
    for (uint32_t s : scan_.definition_order) {
      file_.Line(std::to_string(++number) + ") " + scan_.structures[s].name);
    }
    file_.Line("");
  }

  void Layers() {
    file_.Line(kReportLayersTitle);
    file_.Line("Layers: " + std::to_string(scan_.layers.count()));
    std::string line;
    size_t on_line = 0;
    for (size_t layer = 0; layer < scan_.layers.size(); ++layer) {
      if (!scan_.layers.test(layer)) continue;
      line += (on_line == 0 ? "" : ",") + std::to_string(layer);
      if (++on_line == kLayersPerLine) {
        file_.Line(line);
        line.clear();
        on_line = 0;
      }
    }
    if (on_line > 0) file_.Line(line);
    file_.Line("");
  }

  void ElementCounts() {
    file_.Line(kReportCountsTitle);
    file_.Line("(Boundary, Path, ARef, SRef, Text) Structure");
    for (uint32_t s : scan_.definition_order) {
      const auto& c = scan_.structures[s].counts;
      file_.Line("(" + std::to_string(c[kCountBoundary]) + ", " + std::to_string(c[kCountPath]) +
                 ", " + std::to_string(c[kCountAref]) + ", " + std::to_string(c[kCountSref]) +
                 ", " + std::to_string(c[kCountText]) + ") " + scan_.structures[s].name);
    }
    file_.Line("");
  }

  void Extents(const std::vector<ScanExtents>& extents) {
    const int64_t resolution = ScanResolution(scan_.user_units_per_database_unit);
    file_.Line(kReportExtentsTitle);
    file_.Line("Resolution: " + std::to_string(resolution));
    file_.Line("User Units:" +
               ScanUnitName(scan_.metres_per_database_unit / scan_.user_units_per_database_unit));
    file_.Line("(Min X, Min Y, Max X, Max Y) Structure");
    for (uint32_t s : scan_.definition_order) {
      const ScanExtents& e = extents[s];
      const double box[4] = {Outward(e.min_x, e.empty, false), Outward(e.min_y, e.empty, false),
                             Outward(e.max_x, e.empty, true), Outward(e.max_y, e.empty, true)};
      file_.Line("(" + UserValue(box[0], scan_, resolution) + ", " +
                 UserValue(box[1], scan_, resolution) + ", " +
                 UserValue(box[2], scan_, resolution) + ", " +
                 UserValue(box[3], scan_, resolution) + ") " + scan_.structures[s].name);
    }
    file_.Line("");
  }

  // Roots on lines of their own; a structure at depth d below its root as d columns of
  // "|" six characters apart, then "__ " and its name, so that the name of every line
  // lies left of the "|" of the lines below it.
  void Hierarchy(const std::vector<std::vector<uint32_t>>& children,
                 const std::vector<uint32_t>& roots) {
    file_.Line(kReportHierarchyTitle);
    struct Frame {
      uint32_t structure;
      size_t next;
    };
    std::vector<Frame> stack;
    std::string line;
    for (uint32_t root : roots) {
      file_.Line(scan_.structures[root].name);
      stack.assign(1, {root, 0});
      while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == children[top.structure].size()) {
          stack.pop_back();
          continue;
        }
        const uint32_t child = children[top.structure][top.next++];
        const ScanStructure& s = scan_.structures[child];
        line.assign("  |");
        for (size_t d = 1; d < stack.size(); ++d) line += "     |";
        line += "__ ";
        line += s.name;
        if (!s.defined) line += kUndefinedMark;
        file_.Line(line);
        if (s.defined) stack.push_back({child, 0});
      }
    }
  }

 private:
  const GdsScan& scan_;
  ReportFile& file_;
};

// Lines the hierarchy drawing takes below and with each root, and the roots themselves.
int HierarchyRoots(const GdsScan& scan, const std::vector<std::vector<uint32_t>>& children,
                   const std::vector<uint32_t>& order, std::vector<uint32_t>* roots,
                   std::string* error) {
  std::vector<uint64_t> lines(scan.structures.size(), 1);
  std::vector<bool> referenced(scan.structures.size(), false);
  for (uint32_t s : order) {  // children come first
    for (uint32_t c : children[s]) {
      lines[s] = std::min(lines[s] + lines[c], kMaxHierarchyLines + 1);
      referenced[c] = true;
    }
  }
  uint64_t total = 0;
  roots->clear();
  for (uint32_t s : scan.definition_order) {
    if (referenced[s]) continue;
    roots->push_back(s);
    total = std::min(total + lines[s], kMaxHierarchyLines + 1);
  }
  if (total > kMaxHierarchyLines) {
    *error = "the hierarchy drawing would take more than " + std::to_string(kMaxHierarchyLines) +
             " lines";
    return 1;
  }
  return 0;
}

}  // namespace

std::string ScanUnitName(double metres_per_user_unit) {
  for (const GdsUnit& unit : kGdsUnitTable) {
    if (std::fabs(metres_per_user_unit - unit.metres) <= unit.metres * 1e-9) {
      return std::string(unit.name);
    }
  }
  if (std::fabs(metres_per_user_unit - 1e-9) <= 1e-18) return "NM";
  return std::string(kGdsUserUnitName);
}

int64_t ScanResolution(double user_units_per_database_unit) {
  if (!(user_units_per_database_unit > 0) || user_units_per_database_unit >= 1) return 1;
  const double resolution = std::round(1 / user_units_per_database_unit);
  return resolution > 1e15 ? static_cast<int64_t>(1e15) : static_cast<int64_t>(resolution);
}

int StructureOrder(const GdsScan& scan, std::vector<uint32_t>* order, std::string* error) {
  const std::vector<std::vector<uint32_t>> children = DistinctChildren(scan);
  enum : uint8_t { kNew, kOpen, kDone };
  std::vector<uint8_t> state(scan.structures.size(), kNew);
  struct Frame {
    uint32_t structure;
    size_t next;
  };
  std::vector<Frame> stack;
  order->clear();
  for (uint32_t start : scan.definition_order) {
    if (state[start] != kNew) continue;
    state[start] = kOpen;
    stack.assign(1, {start, 0});
    while (!stack.empty()) {
      const uint32_t s = stack.back().structure;
      if (stack.back().next == children[s].size()) {
        state[s] = kDone;
        order->push_back(s);
        stack.pop_back();
        continue;
      }
      const uint32_t c = children[s][stack.back().next++];
      if (!scan.structures[c].defined || state[c] == kDone) continue;
      if (state[c] == kOpen) {
        *error = "structure '" + scan.structures[c].name + "' references itself (through '" +
                 scan.structures[s].name + "')";
        return 1;
      }
      state[c] = kOpen;
      stack.push_back({c, 0});
    }
  }
  return 0;
}

std::vector<ScanExtents> FlattenedExtents(const GdsScan& scan, const std::vector<uint32_t>& order) {
  // The convex hull of a structure with everything below it: its own hull and its
  // children's hulls placed at the corner instances of every reference. The hull keeps
  // the extents exact under any rotation of a later reference.
  std::vector<std::vector<ScanPoint>> hulls(scan.structures.size());
  std::vector<ScanExtents> extents(scan.structures.size());
  std::vector<ScanPoint> points;
  for (uint32_t s : order) {
    const ScanStructure& structure = scan.structures[s];
    points.assign(structure.hull.begin(), structure.hull.end());
    for (const ScanReference& ref : structure.references) {
      const std::vector<ScanPoint>& child = hulls[ref.child];
      for (int32_t c : {0, ref.columns - 1}) {
        for (int32_t r : {0, ref.rows - 1}) {
          const double ox = ref.origin.x + c * ref.column_step.x + r * ref.row_step.x;
          const double oy = ref.origin.y + c * ref.column_step.y + r * ref.row_step.y;
          for (const ScanPoint& p : child) {
            points.push_back({ref.xx * p.x + ref.xy * p.y + ox, ref.yx * p.x + ref.yy * p.y + oy});
          }
        }
      }
    }
    ConvexHull(&points, &hulls[s]);
    ScanExtents& e = extents[s];
    for (const ScanPoint& p : hulls[s]) {
      e.min_x = e.empty ? p.x : std::min(e.min_x, p.x);
      e.min_y = e.empty ? p.y : std::min(e.min_y, p.y);
      e.max_x = e.empty ? p.x : std::max(e.max_x, p.x);
      e.max_y = e.empty ? p.y : std::max(e.max_y, p.y);
      e.empty = false;
    }
  }
  return extents;
}

int WriteScanReport(const GdsScan& scan, const ScanReportOptions& options, const std::string& path,
                    std::string* error) {
  std::vector<uint32_t> order, roots;
  if (StructureOrder(scan, &order, error) != 0) return 1;
  const std::vector<std::vector<uint32_t>> children = DistinctChildren(scan);
  if (options.hierarchy && HierarchyRoots(scan, children, order, &roots, error) != 0) return 1;

  ReportFile file;
  if (!file.Open(path)) {
    *error = "cannot create " + path + ": " + std::strerror(errno);
    return 1;
  }
  ReportWriter writer(scan, &file);
  writer.Header(options);
  writer.StructureList();
  writer.Layers();
  if (options.element_counts) writer.ElementCounts();
  if (options.extents) writer.Extents(FlattenedExtents(scan, order));
  if (options.hierarchy) writer.Hierarchy(children, roots);
  if (!file.Close()) {
    *error = "cannot write " + path;
    return 1;
  }
  return 0;
}

}  // namespace kavrinth
