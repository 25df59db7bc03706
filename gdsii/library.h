// A small in-memory model of a GDSII library (structures, elements with their records,
// references, properties, named settings and the system's own kinds), read whole from
// a stream by the record reader; for the companions and for tests.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "gdsii/record_reader.h"
#include "gdsii/writer.h"

namespace kavrinth {

// A record kept with its data.
struct GdsStoredRecord {
  int type = 0;
  int data_type = 0;
  std::vector<uint8_t> data;
  GdsByteOrder byte_order = GdsByteOrder::kBigEndian;

  GdsRecordView view() const { return {type, data_type, data, byte_order}; }
};

// PROPATTR and the PROPVALUE that follows it (the system writes the value as a 4-byte
// integer under the text data type; other writers write text).
struct GdsProperty {
  int attribute = 0;
  std::vector<uint8_t> value;
  GdsByteOrder byte_order = GdsByteOrder::kBigEndian;

  // The value as the system's 4-byte integer (0 unless it holds exactly four bytes).
  int32_t IntValue() const;
  // The value as text, trailing zero bytes removed.
  std::string_view TextValue() const;
};

// One element: the opening record's type and the records up to its end (ENDEL, the
// closing bracket of a named setting, or the next element after a group record), with
// the fields of those records decoded.
struct GdsElement {
  int kind = 0;
  std::vector<GdsStoredRecord> records;  // the field records in order, ENDEL excluded

  int elflags = 0;
  int layer = 0;
  int datatype = 0;  // DATATYPE, TEXTTYPE, NODETYPE or BOXTYPE
  int pathtype = 0;
  int32_t width = 0;
  std::vector<GdsIntPoint> points;  // the points of every XY record, in order
  std::vector<size_t> xy_counts;    // points of each XY record
  std::string sname;                // SNAME
  std::string text;                 // STRING (a named setting's name)
  std::string ustring;              // USTRING, trailing zero bytes removed
  int presentation = 0;
  int strans = 0;
  std::vector<double> mags;    // the reals of every MAG record, in order
  std::vector<double> angles;  // the reals of every ANGLE record, in order
  int columns = 0;
  int rows = 0;
  int uinteger = 0;
  std::vector<int32_t> int32_values;  // record 135
  int setting_kind = 0;               // a named setting's PROPATTR
  std::vector<GdsProperty> properties;

  double Magnification() const { return mags.empty() ? 1.0 : mags.front(); }
  double Angle() const { return angles.empty() ? 0.0 : angles.front(); }
  bool Reflected() const { return (strans & 0x8000) != 0; }
  // A bare group record (133) ends a group.
  bool IsGroupEnd() const { return kind == kGdsExtGroup && records.empty(); }
  // The USTRING data as 16-bit little-endian characters (kind 168).
  std::u16string Utf16() const;
  // A named setting's value: text (kind 0), integer (kinds 1 and 3) or real (others).
  std::variant<std::string, int32_t, double> SettingValue() const;
  // The first field record of a type, or null.
  const GdsStoredRecord* Find(int record_type) const;
};

struct GdsStructure {
  std::string name;
  std::array<int, 12> timestamps{};
  std::vector<GdsElement> elements;
};

struct GdsLibrary {
  int version = 0;
  std::array<int, 12> timestamps{};
  std::string name;
  std::vector<std::string> reflibs;  // the 44-byte slots, trailing zero bytes removed
  std::vector<std::string> fonts;
  bool has_units = false;
  double user_units_per_database_unit = 0;
  double metres_per_database_unit = 0;
  GdsByteOrder byte_order = GdsByteOrder::kBigEndian;
  std::vector<GdsElement> elements;  // named settings and elements outside structures
  std::vector<GdsStructure> structures;

  const GdsStructure* FindStructure(std::string_view structure_name) const;
};

// Reads a whole library: 0, or 1 with a message naming what is wrong and where.
int GdsReadLibrary(std::string_view path, GdsLibrary* library, std::string* error);
int GdsReadLibrary(GdsRecordReader& reader, GdsLibrary* library, std::string* error);

}  // namespace kavrinth
