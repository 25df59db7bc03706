// Names of the GDSII record types, for messages of the readers.
#include "gdsii/records.h"

#include <array>

namespace kavrinth {

namespace {

struct RecordName {
  int type;
  std::string_view name;
};

constexpr std::array<RecordName, 40> kRecordNames = {{
    {kGdsHeader, "HEADER"},
    {kGdsBgnLib, "BGNLIB"},
    {kGdsLibName, "LIBNAME"},
    {kGdsUnits, "UNITS"},
    {kGdsEndLib, "ENDLIB"},
    {kGdsBgnStr, "BGNSTR"},
    {kGdsStrName, "STRNAME"},
    {kGdsEndStr, "ENDSTR"},
    {kGdsBoundary, "BOUNDARY"},
    {kGdsPath, "PATH"},
    {kGdsSref, "SREF"},
    {kGdsAref, "AREF"},
    {kGdsText, "TEXT"},
    {kGdsLayer, "LAYER"},
    {kGdsDataType, "DATATYPE"},
    {kGdsWidth, "WIDTH"},
    {kGdsXy, "XY"},
    {kGdsEndEl, "ENDEL"},
    {kGdsSname, "SNAME"},
    {kGdsColRow, "COLROW"},
    {kGdsNode, "NODE"},
    {kGdsTextType, "TEXTTYPE"},
    {kGdsPresentation, "PRESENTATION"},
    {kGdsString, "STRING"},
    {kGdsStrans, "STRANS"},
    {kGdsMag, "MAG"},
    {kGdsAngle, "ANGLE"},
    {kGdsUinteger, "UINTEGER"},
    {kGdsUstring, "USTRING"},
    {kGdsRefLibs, "REFLIBS"},
    {kGdsFonts, "FONTS"},
    {kGdsPathType, "PATHTYPE"},
    {kGdsElFlags, "ELFLAGS"},
    {kGdsNodeType, "NODETYPE"},
    {kGdsPropAttr, "PROPATTR"},
    {kGdsPropValue, "PROPVALUE"},
    {kGdsBox, "BOX"},
    {kGdsBoxType, "BOXTYPE"},
    {kGdsBgnExtn, "BGNEXTN"},
    {kGdsEndExtn, "ENDEXTN"},
}};

}  // namespace

std::string_view GdsRecordName(int record_type) {
  for (const RecordName& entry : kRecordNames) {
    if (entry.type == record_type) return entry.name;
  }
  return {};
}

}  // namespace kavrinth
