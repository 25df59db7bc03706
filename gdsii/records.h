// The GDSII stream format as this system writes and reads it: record types, data
// types, the system's own element kinds from 128 up, and the record-size limits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kavrinth {

// Standard record types (the numbers are the stream's own codes).
enum GdsRecordType : int {
  kGdsHeader = 0,
  kGdsBgnLib = 1,
  kGdsLibName = 2,
  kGdsUnits = 3,
  kGdsEndLib = 4,
  kGdsBgnStr = 5,
  kGdsStrName = 6,
  kGdsEndStr = 7,
  kGdsBoundary = 8,
  kGdsPath = 9,
  kGdsSref = 10,
  kGdsAref = 11,
  kGdsText = 12,
  kGdsLayer = 13,
  kGdsDataType = 14,
  kGdsWidth = 15,
  kGdsXy = 16,
  kGdsEndEl = 17,
  kGdsSname = 18,
  kGdsColRow = 19,
  kGdsNode = 21,
  kGdsTextType = 22,
  kGdsPresentation = 23,
  kGdsString = 25,
  kGdsStrans = 26,
  kGdsMag = 27,
  kGdsAngle = 28,
  kGdsUinteger = 29,
  kGdsUstring = 30,
  kGdsRefLibs = 31,
  kGdsFonts = 32,
  kGdsPathType = 33,
  kGdsElFlags = 38,
  kGdsNodeType = 42,
  kGdsPropAttr = 43,
  kGdsPropValue = 44,
  kGdsBox = 45,
  kGdsBoxType = 46,
  kGdsBgnExtn = 48,
  kGdsEndExtn = 49,
};

// The system's own record codes. Each opens an element that ENDEL closes, except the
// named-setting bracket (132), the group start and end (133) and the setting value
// (135), which is a field record inside a named setting.
enum GdsExtRecordKind : int {
  kGdsExtCircle = 128,
  kGdsExtArc = 129,
  kGdsExtTwoRadiusArc = 130,
  kGdsExtNamedSetting = 132,
  kGdsExtGroup = 133,
  kGdsExtSettingInt32 = 135,
  kGdsExtPointList = 137,
  kGdsExtAperture = 138,
  kGdsExtLayerFile = 139,
  kGdsExtKind144 = 144,
  kGdsExtKind160 = 160,
  kGdsExtKind161 = 161,
  kGdsExtKind162 = 162,
  kGdsExtKind167 = 167,
  kGdsExtKind168 = 168,
  kGdsExtKind169 = 169,
};

// The first code of the system's own kinds.
inline constexpr int kGdsFirstExtRecordKind = 128;

// Data types of the third header byte. 4 (4-byte real) is read but never written.
enum GdsDataType : int {
  kGdsTypeNone = 0,
  kGdsTypeBitArray = 1,
  kGdsTypeInt16 = 2,
  kGdsTypeInt32 = 3,
  kGdsTypeReal4 = 4,
  kGdsTypeReal8 = 5,
  kGdsTypeAscii = 6,
};

// Size of one item of a data type (0 for no data; 1 for characters).
constexpr size_t GdsDataItemSize(int data_type) {
  constexpr size_t kSizes[] = {0, 2, 2, 4, 4, 8, 1};
  return data_type >= 0 && data_type <= kGdsTypeAscii ? kSizes[data_type] : 0;
}

constexpr bool GdsIsKnownDataType(int data_type) {
  return data_type >= kGdsTypeNone && data_type <= kGdsTypeAscii;
}

// A record's length (header included) is a 16-bit field and always even.
inline constexpr size_t kGdsRecordHeaderSize = 4;
inline constexpr size_t kGdsMaxRecordLength = 0xFFFE;
inline constexpr size_t kGdsMaxRecordData = kGdsMaxRecordLength - kGdsRecordHeaderSize;

// Data length of a record as stored: odd lengths get one zero byte.
constexpr size_t GdsPaddedLength(size_t data_length) { return data_length + (data_length & 1); }

// The stream's name of a record type ("BOUNDARY"), or "" for a code it does not name.
std::string_view GdsRecordName(int record_type);

}  // namespace kavrinth
