// The viewer's own GDSII-format writer: the stream records of the GDSII writer plus the
// delta-compressed point records 140 and 141, polygon-break markers inside boundaries and
// the kinds 134, 142 and 143. One file at a time (process-wide state); structures are
// spooled to temporary files on a stack of up to 16 levels.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "gdsii/encoding.h"
#include "gdsii/writer.h"

namespace kavrinth {

// Results: 0 success; 1 not open, a file could not be opened or created, or a write
// failed; 2 a limit was applied (points cut, a name cut, a value replaced) or too few
// points (nothing written).
inline constexpr int kGdsOutOk = 0;
inline constexpr int kGdsOutFailed = 1;
inline constexpr int kGdsOutLimited = 2;

// The record codes this writer adds; the compressed point records carry data type 255.
enum GdsOutRecordKind : int {
  kGdsOutKind134 = 134,
  kGdsOutCompressedBytes = 140,
  kGdsOutCompressedWords = 141,
  kGdsOutKind142 = 142,
  kGdsOutKind143 = 143,
};
inline constexpr int kGdsOutCompressedDataType = 255;

// A point with these coordinates inside a boundary separates two polygons.
inline constexpr int32_t kGdsOutBreakX = 0x7FFFFFFF;
inline constexpr int32_t kGdsOutBreakY = -0x7FFFFFFF;  // 0x80000001
// Attribute bit of a boundary: close with the last point as given.
inline constexpr int kGdsOutCloseWithLast = 0x20;

inline constexpr int32_t kGdsOutMaxPoints = 5000;
inline constexpr int kGdsOutLevels = 16;
inline constexpr size_t kGdsOutBufferSize = 8192;
// The memory-status warning when a level's buffer cannot be had: the file is closed, the
// level not opened, and GdsOutOpen or GdsOutBeginStructure returns 1.
inline constexpr const char* kGdsOutNoMemoryText = "GDSOUT: out of memory";
// Makes the next `count` buffer allocations fail as if memory had run out. For tests.
void GdsOutFailBufferAllocationsForTesting(int count);

// Bits of the structure flags word (both 0 unless set).
enum GdsOutFlag : int {
  kGdsOutNoSpooling = 1,  // every record to level 0, structures not spooled
  kGdsOutTopSpooled = 2,  // the first structure level collects the nested ones
};

// --- File and structures ---
// The unit name is looked up case-sensitively in the unit table; another text is read as
// a number of metres, and 0 or an unreadable text means "MIL".
int GdsOutBegin(std::string_view file_name, std::string_view unit_name, double database_unit,
                std::string_view font_name, bool native_order);
// The file replaces its target only at a clean GdsOutClose. 1 when it cannot be created
// (also when the UNITS record's metres are 0, though the file is then written).
int GdsOutOpen(std::string_view file_name, double metres_per_user_unit, double database_unit,
               std::string_view font_name, bool native_order);
int GdsOutBeginStructure(std::string_view name);
int GdsOutEndStructure();
// ENDLIB, padding, close; levels still open are appended to the file first. 0, or 1 after
// any write error (the target is then left as it was).
int GdsOutClose();
void GdsOutSetFlags(int flags);
// The clock of the time stamps (tests fix it; null restores local time).
void GdsOutSetClock(GdsClock clock);

// Whether a real record holds the value as it is: 0, or a finite value from 2e-20 (the
// smallest the GDSII real keeps; below it a value arrives as 0) to the largest GDSII real.
// A named real property writes any other value cut to 0 or to the largest real.
bool GdsOutRealFits(double value);
// --- Elements ---
// A non-empty property array is written as PROPVALUE's integers instead of the value.
int GdsOutBoundary(std::span<const GdsIntPoint> points, int layer, int datatype, int attribute,
                   int32_t value, std::span<const int32_t> property_array = {});
int GdsOutBoundaryD(std::span<const GdsPoint> points, int layer, int datatype, int attribute,
                    int32_t value);
int GdsOutPath(std::span<const GdsIntPoint> points, int layer, int datatype, int32_t width,
               int pathtype, int attribute, int32_t value,
               std::span<const int32_t> property_array = {});
int GdsOutPathD(std::span<const GdsPoint> points, int layer, int datatype, double width,
                int pathtype, int attribute, int32_t value);
// One point record of points[0 .. n-2] and the closing point: 140, 141 or a plain XY.
int GdsOutXY(std::span<const GdsIntPoint> points, GdsIntPoint closing);
int GdsOutNamedProperty(std::string_view name, int value_kind, const GdsPropertyValue& value);
int GdsOutCircle(GdsIntPoint centre, double radius, int datatype, int layer, int pathtype,
                 int32_t width);
int GdsOutCircleD(GdsPoint centre, double radius, int datatype, int layer, int pathtype,
                  double width);
int GdsOutCircleProp(GdsIntPoint centre, double radius, int datatype, int layer, int pathtype,
                     int32_t width, int attribute, int32_t value,
                     std::span<const int32_t> property_array = {});
// Angles: first, second (both reduced, 360 kept) and third (as given).
int GdsOutArc(GdsIntPoint centre, const std::array<GdsIntPoint, 2>& points, double radius,
              const std::array<double, 3>& angles, int layer, int pathtype, int32_t width);
int GdsOutArcD(GdsPoint centre, const std::array<GdsPoint, 2>& points, double radius,
               const std::array<double, 3>& angles, int layer, int pathtype, double width);
int GdsOutBeginGroup(int layer, int datatype, int pathtype, int32_t width, GdsIntPoint point,
                     int attribute, int32_t value);
int GdsOutBeginGroupD(int layer, int datatype, int pathtype, double width, GdsPoint point,
                      int attribute, double value);
int GdsOutEndGroup();
int GdsOutSref(std::string_view name, int32_t x, int32_t y, double magnification, double angle,
               bool reflect, int attribute, int32_t value);
int GdsOutSrefD(std::string_view name, double x, double y, double magnification, double angle,
                bool reflect, int attribute, int32_t value);
// The larger magnification; a mirror about the x-axis reflects, one about the y-axis
// reflects and turns by 180 degrees, both turn by 180 degrees.
int GdsOutSrefMirrored(std::string_view name, int32_t x, int32_t y, double first_magnification,
                       double second_magnification, double angle, bool mirror_x, bool mirror_y,
                       int attribute, int32_t value);
int GdsOutSrefMirroredD(std::string_view name, double x, double y, double first_magnification,
                        double second_magnification, double angle, bool mirror_x, bool mirror_y,
                        int attribute, int32_t value);
int GdsOutAref(std::string_view name, const std::array<GdsIntPoint, 3>& points, int columns,
               int rows, double magnification, double angle, bool reflect, int attribute,
               int32_t value);
int GdsOutApertureRecord(int code, std::string_view name, int first_word, int second_word,
                         double first_real, double second_real, double third_real, int third_word,
                         double fourth_real);
int GdsOutKind134Begin(int number);
int GdsOutKind134End(double angle, int32_t width, GdsIntPoint point);
int GdsOutKind142(std::span<const int32_t> values);
int GdsOutKind143();
int GdsOutKind144(int layer, int pathtype, int number, std::string_view text);

// --- Position ---
// Flushes level 0 and moves its file position (origin 0 start, 1 current, 2 end): the new
// position, which becomes the level's written count; -1 when it cannot move there.
int64_t GdsOutSeek(int64_t offset, int origin);
// Level 0's written plus waiting bytes (-1 when closed).
int64_t GetGdsOutSize();

}  // namespace kavrinth
