// The GDSII stream writer: opens a library, writes its structures (spooling nested ones
// to temporary files), their standard elements and the system's own element kinds and
// named settings. The free Gds* functions work on one process-wide writer.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "gdsii/encoding.h"
#include "gdsii/output_file.h"
#include "gdsii/records.h"

namespace kavrinth {

// Results of the writer: 0 success; 1 a file could not be opened, created or written
// (or the unit is unknown, or the call was refused); 2 a limit was applied (points
// clamped, a name cut, a value replaced or saturated) or too few points (nothing
// written).
enum GdsResult : int { kGdsOk = 0, kGdsFailed = 1, kGdsLimitApplied = 2 };

// A point in user units, and one already in database units.
struct GdsPoint {
  double x = 0;
  double y = 0;
};
struct GdsIntPoint {
  int32_t x = 0;
  int32_t y = 0;
};

// REFLIBS: two 44-byte library names; FONTS: four 44-byte font-file names.
using GdsRefLibs = std::array<char, 88>;
using GdsFontTable = std::array<char, 176>;
inline constexpr size_t kGdsFontNameSize = 44;

// Size of one user unit in metres, by the (case-sensitive) unit name.
struct GdsUnit {
  std::string_view name;
  double metres;
};
inline constexpr std::array<GdsUnit, 11> kGdsUnitTable = {{
    {"UINCH", 2.54e-8},
    {"MIL", 2.54e-5},
    {"INCH", 0.0254},
    {"FEET", 0.3048},
    {"YARD", 0.9144},
    {"MILES", 1609.344},
    {"UM", 1e-6},
    {"MM", 0.001},
    {"CM", 0.01},
    {"M", 1},
    {"KM", 1000},
}};
// The unit whose size the caller sets (GdsUserUnitMetres); known to the extended open only.
inline constexpr std::string_view kGdsUserUnitName = "USER";

// Metres of a unit of the table, 0 for any other name.
double GdsUnitMetres(std::string_view unit_name);

// Bits of the flags word.
enum GdsWriterFlag : int {
  kGdsNoSpooling = 1,             // every record to level 0; structures not spooled
  kGdsSpoolStructureSection = 2,  // the structure section collected in spool level 1
};

// Spool levels: level 0 is the library stream, levels 1-15 temporary files.
inline constexpr int kGdsSpoolLevels = 16;

// Point limits of the element writers.
inline constexpr size_t kGdsMaxBoundaryPoints = 5000;
inline constexpr size_t kGdsMaxNodePoints = 50;
// The longest point list (kind 137) whose XY record fits the 16-bit length.
inline constexpr size_t kGdsMaxPointListPoints = kGdsMaxRecordData / 8;
// Structure names (STRNAME, SNAME) are cut to this length.
inline constexpr size_t kGdsMaxStructureName = 32;

// Value kinds of a named setting, and its value.
enum GdsSettingKind : int {
  kGdsSettingText = 0,
  kGdsSettingInt16 = 1,
  kGdsSettingReal = 2,
  kGdsSettingInt32 = 3,
};
using GdsPropertyValue = std::variant<std::string_view, int32_t, double>;

// Everything one writer keeps between calls.
struct GdsWriterState {
  bool library_open = false;
  GdsByteOrder byte_order = GdsByteOrder::kBigEndian;
  std::unique_ptr<GdsOutputFile> output_file;  // the library file
  std::unique_ptr<GdsOutputFile> discard;      // the null device
  GdsOutputFile* output = nullptr;             // the output, or the discard while dropping
  GdsOutputFile* level0 = nullptr;             // where level-0 records go
  GdsOutputFile* saved = nullptr;              // the level-0 stream during a drop
  int drop_depth = 0;
  std::vector<std::unique_ptr<GdsOutputFile>> spool;  // levels 1..depth
  int flags = 0;
  double divisor = 1;  // database unit in user units (times the extended scale)
  double min_path_width = 0;
  double user_unit_metres = 0;
  std::array<double, 4> text_heights = {1, 1, 1, 1};
  int open_structures = 0;
  std::string structure_name;
  bool element_flag = false;
  bool limit_applied = false;  // set by conversions during one call
  int error_number = 0;        // first failure of the library (errno)
  GdsClock clock;
};

class GdsWriter {
 public:
  GdsWriter();
  ~GdsWriter();
  GdsWriter(const GdsWriter&) = delete;
  GdsWriter& operator=(const GdsWriter&) = delete;

  // --- Library and structures ---
  // A database unit that is not a number above 0 is refused (1, nothing written), as
  // is a negative one in the extended form; the extended form accepts 0 for a
  // library that carries no coordinates (its coordinate writers then refuse).
  // Opening while a library is open abandons that library (its file is not replaced).
  int OpenLibrary(std::string_view file_name, std::string_view unit_name, double database_unit,
                  std::string_view font_name, double text_height, bool native_order);
  int BeginLibrary(std::string_view file_name, double unit_metres, double database_unit,
                   std::string_view font_name, double text_height, bool native_order);
  int OpenLibraryEx(std::string_view file_name, std::string_view unit_name, double database_unit,
                    double scale, double min_path_width, const GdsRefLibs& reflibs,
                    const GdsFontTable& fonts, bool native_order);
  int BeginLibraryEx(std::string_view file_name, double unit_metres, double database_unit,
                     double scale, const GdsRefLibs& reflibs, const GdsFontTable& fonts,
                     double text_height, bool native_order);
  void SetFlags(int flags) { state_.flags = flags; }
  // Has the open library's file handed to the system for writing every `bytes` bytes
  // (GdsOutputFile::StartWritebackEvery); nothing without an open library.
  void StartWritebackEvery(uint64_t bytes) {
    if (state_.output_file) state_.output_file->StartWritebackEvery(bytes);
  }
  // 1 when no spool file could be made (nothing written).
  int BeginStructure(std::string_view name);
  // 1 when no structure is open (nothing written).
  int EndStructure();
  int BeginStructureEx(std::string_view name, bool drop);
  int EndStructureEx(std::string_view name, bool drop);
  // Writes ENDLIB, pads and closes. Structures still open are ended first (result 2);
  // a write error anywhere in the library gives 1 and the file is not replaced.
  int EndLibrary();

  // --- Record layer ---
  // Writes one record to the current level (a record of data type 0 is its header
  // alone): 0, or 1 when no library is open or its data would not fit the 16-bit
  // length (nothing written). An ENDLIB record ends the library as EndLibrary does.
  int WriteRecord(int record_type, int data_type, std::span<const uint8_t> data);
  // Appends records already encoded (GdsElementEncoder) to the current level as they
  // stand: 0, or 1 when no library is open (nothing written).
  int WriteEncoded(std::span<const uint8_t> records);
  // The same for several blocks, written in their order.
  int WriteEncoded(std::span<const std::span<const uint8_t>> blocks);

  // --- Standard elements, points in user units ---
  int WriteBoundary(std::span<const GdsPoint> points, int layer, int datatype, int attribute,
                    int32_t value);
  int WritePath(std::span<const GdsPoint> points, int layer, int datatype, double width,
                int pathtype, int attribute, int32_t value);
  // vertex_reals needs one real per written point (else 2, nothing written).
  int WritePathWithVertexReals(double first, double second, std::span<const double> vertex_reals,
                               std::span<const GdsPoint> points, int layer, int datatype,
                               double width, int pathtype, int attribute, int32_t value);
  int WriteNode(std::span<const GdsPoint> points, int layer, int nodetype, int attribute,
                int32_t value);
  int WriteSref(std::string_view name, double x, double y, double magnification, double angle,
                bool reflect, int attribute, int32_t value);
  int WriteSrefMirrored(std::string_view name, double x, double y, double first_scale,
                        double second_scale, double angle, bool mirror_x, bool mirror_y,
                        int attribute, int32_t value);
  int WriteAref(std::string_view name, double x, double y, double column_spacing,
                double row_spacing, int columns, int rows, double magnification, double angle,
                bool reflect, int attribute, int32_t value);
  // A text longer than a STRING record holds is refused (2, nothing written).
  int WriteText(std::string_view text, double x, double y, int justification, int font, int layer,
                int texttype, int32_t width, int pathtype, int transformation, double magnification,
                double angle, int attribute, int32_t value);
  int WriteTextAt(int layer, int texttype, int font, int horizontal, int vertical, int pathtype,
                  bool reflect, bool second_flag, double width, double magnification, double angle,
                  GdsPoint position, std::string_view text);
  int WriteTextAtWithProperty(int layer, int texttype, int font, int horizontal, int vertical,
                              int pathtype, bool reflect, bool second_flag, double width,
                              double magnification, double angle, GdsPoint position,
                              std::string_view text, int attribute, int32_t value);
  void WriteElflags();
  // A structure "GDS_DIRECTORY" with one TEXT per non-empty line of the file (read from
  // its start; LF or CR LF line ends). 1 when the structure cannot begin or the file
  // cannot be read.
  int WriteDirectoryStructure(std::FILE* text_file);

  // --- Standard elements, second set: doubles in user units or integers in database
  // units (written unchanged), by the type of the points ---
  int WriteBoundaryEx(std::span<const GdsPoint> points, int layer, int datatype, int attribute,
                      int32_t value);
  int WriteBoundaryEx(std::span<const GdsIntPoint> points, int layer, int datatype, int attribute,
                      int32_t value);
  int WritePathEx(std::span<const GdsPoint> points, int layer, int datatype, double width,
                  int pathtype, int attribute, int32_t value);
  int WritePathEx(std::span<const GdsIntPoint> points, int layer, int datatype, int32_t width,
                  int pathtype, int attribute, int32_t value);
  int WriteSrefEx(std::string_view name, GdsPoint point, double magnification, double angle,
                  bool reflect, int attribute, int32_t value);
  int WriteSrefEx(std::string_view name, GdsIntPoint point, double magnification, double angle,
                  bool reflect, int attribute, int32_t value);
  // With a spacing pair, points holds P1 only; without, P1, P2 and P3 (else 2).
  int WriteArefEx(std::string_view name, std::span<const GdsPoint> points,
                  std::optional<GdsPoint> spacing, int columns, int rows, double magnification,
                  double angle, bool reflect, int attribute, int32_t value);
  int WriteArefEx(std::string_view name, std::span<const GdsIntPoint> points,
                  std::optional<GdsIntPoint> spacing, int columns, int rows, double magnification,
                  double angle, bool reflect, int attribute, int32_t value);
  int WriteTextEx(int layer, int texttype, int font, int horizontal, int vertical, int pathtype,
                  bool reflect, bool second_flag, double width, double magnification, double angle,
                  GdsPoint position, std::string_view text, int attribute, int32_t value);
  int WriteTextEx(int layer, int texttype, int font, int horizontal, int vertical, int pathtype,
                  bool reflect, bool second_flag, int32_t width, double magnification, double angle,
                  GdsIntPoint position, std::string_view text, int attribute, int32_t value);
  int WriteNodeEx(std::span<const GdsPoint> points, int layer, int nodetype, int attribute,
                  int32_t value);
  int WriteNodeEx(std::span<const GdsIntPoint> points, int layer, int nodetype, int attribute,
                  int32_t value);
  // Points 1-4 of the box (a fifth is ignored: the first closes it); fewer: 2.
  int WriteBox(std::span<const GdsPoint> points, int layer, int boxtype, int attribute,
               int32_t value);
  int WriteBox(std::span<const GdsIntPoint> points, int layer, int boxtype, int attribute,
               int32_t value);

  // --- The system's own element kinds and named settings ---
  int WriteCircle(GdsPoint centre, double radius, int datatype, int layer, int pathtype,
                  double width);
  int WriteCircleWithProperty(GdsPoint centre, double radius, int datatype, int layer, int pathtype,
                              double width, int attribute, int32_t value);
  int WriteArc(double first_angle, double second_angle, double third_angle, double radius,
               const std::array<GdsPoint, 2>& two_points, GdsPoint one_point, double width,
               int pathtype, int layer);
  int WriteArcWithProperty(double first_angle, double second_angle, double third_angle,
                           double radius, const std::array<GdsPoint, 2>& two_points,
                           GdsPoint one_point, double width, int pathtype, int layer, int attribute,
                           int32_t value);
  int WriteTwoRadiusArc(const std::array<double, 4>& angles, double first_radius,
                        double second_radius, const std::array<GdsPoint, 2>& two_points,
                        GdsPoint one_point, double width, int attribute, int layer, int pathtype);
  // Text for kind 0, an integer for kinds 1 and 3, a number for any other kind; a value
  // of the wrong type is refused (2, nothing written).
  int WriteNamedProperty(std::string_view name, int value_kind, const GdsPropertyValue& value);
  int BeginGroup(int layer, int datatype, int pathtype, double width, GdsPoint point, int attribute,
                 double value);
  int EndGroup();
  // More than kGdsMaxPointListPoints points are refused (2, nothing written).
  int WritePointList(std::span<const GdsIntPoint> points);
  int WriteApertureRecord(int code, std::string_view name, int first_word, int second_word,
                          double first_real, double second_real, double third_real, int third_word,
                          double fourth_real);
  int WriteLayerFileRecord(int layer, std::string_view file_name);
  int WriteKind144(int layer, int pathtype, int number, std::string_view text);
  int WriteKind160(std::span<const GdsPoint> points, double angle, int layer, int datatype,
                   double width, int pathtype, int attribute, int32_t value);
  int WriteKind161(std::span<const GdsPoint> points, int layer, int nodetype, int attribute,
                   int32_t value);
  int WriteKind162(int number, int pathtype, std::string_view text);
  int WriteKind167(int number, int pathtype, std::string_view text, double first_real,
                   double second_real, double angle);
  // The characters go out little-endian, two bytes each.
  int WriteKind168(int number, std::u16string_view characters);
  int WriteKind169(int number, std::string_view text);

  // --- Settings and state ---
  void SetClock(GdsClock clock) { state_.clock = std::move(clock); }
  void SetElementFlag(bool on) { state_.element_flag = on; }
  double& user_unit_metres() { return state_.user_unit_metres; }
  int flags() const { return state_.flags; }
  bool library_open() const { return state_.library_open; }
  int depth() const { return static_cast<int>(state_.spool.size()); }
  int open_structures() const { return state_.open_structures; }
  const std::string& structure_name() const { return state_.structure_name; }
  double coordinate_divisor() const { return state_.divisor; }
  double min_path_width() const { return state_.min_path_width; }
  GdsByteOrder byte_order() const { return state_.byte_order; }
  bool element_flag() const { return state_.element_flag; }
  double text_height() const { return state_.text_heights[0]; }
  // The errno of the first failure of the last library, or 0.
  int error_number() const { return state_.error_number; }

 private:
  struct Fonts;
  int BeginLibraryCommon(std::string_view file_name, double unit_metres, double database_unit,
                         double divisor, const Fonts& fonts, double text_height, bool native_order);
  void Abandon();
  int PushStructureFile();
  int PopStructureFile();
  void FoldSpoolLevels();
  void FinishLibrary();
  int CloseAll();
  void Fail(int error_number);
  GdsOutputFile* CurrentStream();

  // Record building.
  bool Begin(int record_type, int data_type, size_t data_length);
  void Put(const void* data, size_t length) { current_->Write(data, length); }
  void Put16(int32_t value);
  void Put32(int32_t value);
  void PutReal(double value);
  void PadAfter(size_t data_length);
  void EmptyRecord(int record_type);
  void Int16Record(int record_type, int32_t value, int data_type = kGdsTypeInt16);
  void Int32Record(int record_type, int32_t value, int data_type = kGdsTypeInt32);
  void RealRecord(int record_type, std::initializer_list<double> values);
  void TextRecord(int record_type, std::string_view text);
  void PropertyRecords(int attribute, int32_t value);
  void ElementFlagRecord();
  template <class Point>
  void XyRecord(std::span<const Point> points, size_t count, bool close_with_first);

  // Conversions to database units (saturating; a saturation marks the limit).
  // Inline: every coordinate of every element passes here. Values whose whole part fits
  // convert directly; the rest (and NaN) go to Saturate.
  int32_t ToDatabase(double value) {
    const double scaled = value / state_.divisor;
    const double rounded = value >= 0 ? scaled + 0.5 : scaled - 0.5;
    if (rounded > -2147483649.0 && rounded < 2147483648.0) return static_cast<int32_t>(rounded);
    return Saturate(rounded);
  }
  int32_t ToDatabase(int32_t value) { return value; }
  int32_t WidthToDatabase(double width);
  int32_t Saturate(double value);
  // Prologue of every element writer: clears the limit mark; false when no library is
  // open or, for values in user units, while the coordinate divisor is not above 0.
  bool Ready(bool converts);
  int Finish(int result) const;
  bool FitsText(std::string_view text) const { return text.size() <= kGdsMaxRecordData; }

  template <class Point>
  int BoundaryImpl(std::span<const Point> points, int layer, int datatype, int attribute,
                   int32_t value, bool report);
  template <class Point>
  int NodeImpl(int opener, std::span<const Point> points, int layer, int nodetype, int attribute,
               int32_t value, bool first_set);
  template <class Point>
  int SrefImpl(std::string_view name, Point point, double magnification, double angle, bool reflect,
               int attribute, int32_t value);
  template <class Point>
  int ArefImpl(std::string_view name, std::span<const Point> points, std::optional<Point> spacing,
               int columns, int rows, double magnification, double angle, bool reflect,
               int attribute, int32_t value);
  template <class Point>
  int TextImpl(std::string_view text, Point position, int justification, int font, int layer,
               int texttype, int32_t width, int pathtype, int transformation, double magnification,
               double angle, int attribute, int32_t value);
  template <class Point>
  int BoxImpl(std::span<const Point> points, int layer, int boxtype, int attribute, int32_t value);
  template <class Point>
  int PathImpl(std::span<const Point> points, int layer, int datatype, int32_t width, int pathtype,
               int attribute, int32_t value, bool first_set,
               const std::array<double, 2>* angle_reals = nullptr,
               std::span<const double> vertex_reals = {});
  int TextAtImpl(int layer, int texttype, int font, int horizontal, int vertical, int pathtype,
                 bool reflect, bool second_flag, double width, double magnification, double angle,
                 GdsPoint position, std::string_view text, int attribute, int32_t value);
  int CircleImpl(GdsPoint centre, double radius, int datatype, int layer, int pathtype,
                 double width, int attribute, int32_t value);
  int ArcImpl(double first_angle, double second_angle, double third_angle, double radius,
              const std::array<GdsPoint, 2>& two_points, GdsPoint one_point, double width,
              int pathtype, int layer, int attribute, int32_t value);
  int NumberedTextKind(int kind, std::optional<int> layer, std::optional<int> pathtype, int number,
                       std::string_view text);

  GdsWriterState state_;
  GdsOutputFile* current_ = nullptr;  // the stream of the record being written
};

// The process-wide writer that the free functions below use.
GdsWriter& DefaultGdsWriter();

// The size in metres of the unit "USER" of the process-wide writer (0 until set).
double& GdsUserUnitMetres();

// Angle reductions of the writer: 360 added to a negative angle, then the remainder
// modulo 360; the "kept" form leaves an angle of exactly 360 as 360.
double GdsReduceAngle(double angle);
double GdsReduceAngleKeep360(double angle);

// --- The writer's operations on the process-wide writer ---
int GdsOpenLibrary(std::string_view file_name, std::string_view unit_name, double database_unit,
                   std::string_view font_name, double text_height, bool native_order);
int GdsBeginLibrary(std::string_view file_name, double unit_metres, double database_unit,
                    std::string_view font_name, double text_height, bool native_order);
int GdsOpenLibraryEx(std::string_view file_name, std::string_view unit_name, double database_unit,
                     double scale, double min_path_width, const GdsRefLibs& reflibs,
                     const GdsFontTable& fonts, bool native_order);
int GdsBeginLibraryEx(std::string_view file_name, double unit_metres, double database_unit,
                      double scale, const GdsRefLibs& reflibs, const GdsFontTable& fonts,
                      double text_height, bool native_order);
void GdsSetFlags(int flags);
int GdsBeginStructure(std::string_view name);
int GdsEndStructure();
int GdsBeginStructureEx(std::string_view name, bool drop);
int GdsEndStructureEx(std::string_view name, bool drop);
int GdsEndLibrary();
int GdsWriteRecord(int record_type, int data_type, std::span<const uint8_t> data);
int GdsWriteEncoded(std::span<const uint8_t> records);
int GdsWriteEncoded(std::span<const std::span<const uint8_t>> blocks);

int GdsWriteBoundary(std::span<const GdsPoint> points, int layer, int datatype, int attribute,
                     int32_t value);
int GdsWritePath(std::span<const GdsPoint> points, int layer, int datatype, double width,
                 int pathtype, int attribute, int32_t value);
int GdsWritePathWithVertexReals(double first, double second, std::span<const double> vertex_reals,
                                std::span<const GdsPoint> points, int layer, int datatype,
                                double width, int pathtype, int attribute, int32_t value);
int GdsWriteNode(std::span<const GdsPoint> points, int layer, int nodetype, int attribute,
                 int32_t value);
int GdsWriteSref(std::string_view name, double x, double y, double magnification, double angle,
                 bool reflect, int attribute, int32_t value);
int GdsWriteSrefMirrored(std::string_view name, double x, double y, double first_scale,
                         double second_scale, double angle, bool mirror_x, bool mirror_y,
                         int attribute, int32_t value);
int GdsWriteAref(std::string_view name, double x, double y, double column_spacing,
                 double row_spacing, int columns, int rows, double magnification, double angle,
                 bool reflect, int attribute, int32_t value);
int GdsWriteText(std::string_view text, double x, double y, int justification, int font, int layer,
                 int texttype, int32_t width, int pathtype, int transformation,
                 double magnification, double angle, int attribute, int32_t value);
int GdsWriteTextAt(int layer, int texttype, int font, int horizontal, int vertical, int pathtype,
                   bool reflect, bool second_flag, double width, double magnification, double angle,
                   GdsPoint position, std::string_view text);
int GdsWriteTextAtWithProperty(int layer, int texttype, int font, int horizontal, int vertical,
                               int pathtype, bool reflect, bool second_flag, double width,
                               double magnification, double angle, GdsPoint position,
                               std::string_view text, int attribute, int32_t value);
void GdsWriteElflags();
int GdsWriteDirectoryStructure(std::FILE* text_file);

int GdsWriteBoundaryEx(std::span<const GdsPoint> points, int layer, int datatype, int attribute,
                       int32_t value);
int GdsWriteBoundaryEx(std::span<const GdsIntPoint> points, int layer, int datatype, int attribute,
                       int32_t value);
int GdsWritePathEx(std::span<const GdsPoint> points, int layer, int datatype, double width,
                   int pathtype, int attribute, int32_t value);
int GdsWritePathEx(std::span<const GdsIntPoint> points, int layer, int datatype, int32_t width,
                   int pathtype, int attribute, int32_t value);
int GdsWriteSrefEx(std::string_view name, GdsPoint point, double magnification, double angle,
                   bool reflect, int attribute, int32_t value);
int GdsWriteSrefEx(std::string_view name, GdsIntPoint point, double magnification, double angle,
                   bool reflect, int attribute, int32_t value);
int GdsWriteArefEx(std::string_view name, std::span<const GdsPoint> points,
                   std::optional<GdsPoint> spacing, int columns, int rows, double magnification,
                   double angle, bool reflect, int attribute, int32_t value);
int GdsWriteArefEx(std::string_view name, std::span<const GdsIntPoint> points,
                   std::optional<GdsIntPoint> spacing, int columns, int rows, double magnification,
                   double angle, bool reflect, int attribute, int32_t value);
int GdsWriteTextEx(int layer, int texttype, int font, int horizontal, int vertical, int pathtype,
                   bool reflect, bool second_flag, double width, double magnification, double angle,
                   GdsPoint position, std::string_view text, int attribute, int32_t value);
int GdsWriteTextEx(int layer, int texttype, int font, int horizontal, int vertical, int pathtype,
                   bool reflect, bool second_flag, int32_t width, double magnification,
                   double angle, GdsIntPoint position, std::string_view text, int attribute,
                   int32_t value);
int GdsWriteNodeEx(std::span<const GdsPoint> points, int layer, int nodetype, int attribute,
                   int32_t value);
int GdsWriteNodeEx(std::span<const GdsIntPoint> points, int layer, int nodetype, int attribute,
                   int32_t value);
int GdsWriteBox(std::span<const GdsPoint> points, int layer, int boxtype, int attribute,
                int32_t value);
int GdsWriteBox(std::span<const GdsIntPoint> points, int layer, int boxtype, int attribute,
                int32_t value);

int GdsWriteCircle(GdsPoint centre, double radius, int datatype, int layer, int pathtype,
                   double width);
int GdsWriteCircleWithProperty(GdsPoint centre, double radius, int datatype, int layer,
                               int pathtype, double width, int attribute, int32_t value);
int GdsWriteArc(double first_angle, double second_angle, double third_angle, double radius,
                const std::array<GdsPoint, 2>& two_points, GdsPoint one_point, double width,
                int pathtype, int layer);
int GdsWriteArcWithProperty(double first_angle, double second_angle, double third_angle,
                            double radius, const std::array<GdsPoint, 2>& two_points,
                            GdsPoint one_point, double width, int pathtype, int layer,
                            int attribute, int32_t value);
int GdsWriteTwoRadiusArc(const std::array<double, 4>& angles, double first_radius,
                         double second_radius, const std::array<GdsPoint, 2>& two_points,
                         GdsPoint one_point, double width, int attribute, int layer, int pathtype);
int GdsWriteNamedProperty(std::string_view name, int value_kind, const GdsPropertyValue& value);
int GdsBeginGroup(int layer, int datatype, int pathtype, double width, GdsPoint point,
                  int attribute, double value);
int GdsEndGroup();
int GdsWritePointList(std::span<const GdsIntPoint> points);
int GdsWriteApertureRecord(int code, std::string_view name, int first_word, int second_word,
                           double first_real, double second_real, double third_real, int third_word,
                           double fourth_real);
int GdsWriteLayerFileRecord(int layer, std::string_view file_name);
int GdsWriteKind144(int layer, int pathtype, int number, std::string_view text);
int GdsWriteKind160(std::span<const GdsPoint> points, double angle, int layer, int datatype,
                    double width, int pathtype, int attribute, int32_t value);
int GdsWriteKind161(std::span<const GdsPoint> points, int layer, int nodetype, int attribute,
                    int32_t value);
int GdsWriteKind162(int number, int pathtype, std::string_view text);
int GdsWriteKind167(int number, int pathtype, std::string_view text, double first_real,
                    double second_real, double angle);
int GdsWriteKind168(int number, std::u16string_view characters);
int GdsWriteKind169(int number, std::string_view text);

}  // namespace kavrinth
