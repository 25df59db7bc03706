// One Intermediate PG output file, written through a temporary beside it: quadrilaterals
// (kind 3) as they come, sectors (kind 5) kept in a second temporary and appended after
// them, the record counts set in the header at the end, and the temporary renamed to the
// final name only at a clean end.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kavrinth {

// Intermediate coordinates are floats in the layout's user unit system, microns or
// mils, which is what the output converters read: a coordinate d in database units is
// stored as d times the microns (or mils) per database unit. For the usual database unit
// of a thousandth of a micron or mil that factor is 0.001.
inline constexpr double kIntermediateUnitsPerDatabaseUnit = 0.001;
// The header: 0xFD, 'P', five record counts, 'T'.
inline constexpr size_t kIntermediateHeaderSize = 23;
// Bytes of one kind-3 and one kind-5 record.
inline constexpr size_t kQuadrilateralRecordSize = 3 + 9 * 4 + 1;
inline constexpr size_t kSectorRecordSize = 3 + 16 * 4 + 2;

// A sector in database units: a point on the outer circle where the sweep starts, the
// sweep counter-clockwise in degrees (360 for a whole circle), the inner radius (0 for
// a pie or a disc).
struct SectorShape {
  int32_t centre_x = 0;
  int32_t centre_y = 0;
  int32_t outer_x = 0;
  int32_t outer_y = 0;
  int32_t inner_radius = 0;
  double sweep_degrees = 360;
};

class IntermediateFile {
 public:
  explicit IntermediateFile(std::string final_name,
                            double units_per_database_unit = kIntermediateUnitsPerDatabaseUnit);
  ~IntermediateFile();
  IntermediateFile(const IntermediateFile&) = delete;
  IntermediateFile& operator=(const IntermediateFile&) = delete;

  // Creates the temporary with the header. False (see error()) when it cannot.
  bool Create();
  // A quadrilateral of three or four corners (x, y pairs in database units); with three,
  // corners[4..5] and corners[6..7] are equal.
  void AddQuadrilateral(const std::array<int32_t, 8>& corners, bool triangle);
  void AddSector(const SectorShape& sector);
  // Writes what is buffered, appends the sectors and sets the counts. False on a failure.
  bool Finish();
  // Renames the finished temporary to the final name. False on a failure.
  bool Commit();
  // Removes the temporaries (the destructor does it for a file not committed).
  void Discard();

  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& final_name() const { return final_name_; }
  uint64_t quadrilaterals() const { return quadrilaterals_; }
  uint64_t sectors() const { return sectors_; }

 private:
  bool Fail(const std::string& what, int error_number);
  bool Append(const std::string& path, std::vector<uint8_t>& buffer);
  bool AppendSectors(int fd);
  bool WriteCounts(int fd);

  std::string final_name_;
  double units_per_database_unit_;
  std::string temp_name_;
  std::string sector_name_;
  std::vector<uint8_t> quad_buffer_;
  std::vector<uint8_t> sector_buffer_;
  uint64_t quadrilaterals_ = 0;
  uint64_t sectors_ = 0;
  bool committed_ = false;
  std::string error_;
};

// Creates a new file beside `final_name` for writing (not an existing one), named
// "<final_name>.<pid>.<n>.tmp": its name, or empty with errno set.
std::string CreateTemporaryBeside(const std::string& final_name);

}  // namespace kavrinth
