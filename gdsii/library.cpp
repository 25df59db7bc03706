// Reads a GDSII stream into the in-memory library model, checking that its records
// come in a valid order and carry the data their types need.
#include "gdsii/library.h"

#include <algorithm>

namespace kavrinth {

namespace {

// Data type and least number of items of the records the model decodes.
struct RecordRule {
  int type;
  int data_type;
  size_t min_items;
};

constexpr RecordRule kLibraryRules[] = {
    {kGdsHeader, kGdsTypeInt16, 1},  {kGdsBgnLib, kGdsTypeInt16, 12},
    {kGdsLibName, kGdsTypeAscii, 0}, {kGdsUnits, kGdsTypeReal8, 2},
    {kGdsBgnStr, kGdsTypeInt16, 12}, {kGdsStrName, kGdsTypeAscii, 0},
    {kGdsRefLibs, kGdsTypeAscii, 0}, {kGdsFonts, kGdsTypeAscii, 0},
    {kGdsEndLib, kGdsTypeNone, 0},   {kGdsEndStr, kGdsTypeNone, 0},
    {kGdsEndEl, kGdsTypeNone, 0},
};

constexpr RecordRule kFieldRules[] = {
    {kGdsLayer, kGdsTypeInt16, 1},
    {kGdsDataType, kGdsTypeInt16, 1},
    {kGdsWidth, kGdsTypeInt32, 1},
    {kGdsXy, kGdsTypeInt32, 0},
    {kGdsSname, kGdsTypeAscii, 0},
    {kGdsColRow, kGdsTypeInt16, 2},
    {kGdsTextType, kGdsTypeInt16, 1},
    {kGdsPresentation, kGdsTypeBitArray, 1},
    {kGdsString, kGdsTypeAscii, 0},
    {kGdsStrans, kGdsTypeBitArray, 1},
    {kGdsMag, kGdsTypeReal8, 1},
    {kGdsAngle, kGdsTypeReal8, 1},
    {kGdsUinteger, kGdsTypeInt16, 1},
    {kGdsUstring, kGdsTypeAscii, 0},
    {kGdsPathType, kGdsTypeInt16, 1},
    {kGdsElFlags, kGdsTypeBitArray, 1},
    {kGdsNodeType, kGdsTypeInt16, 1},
    {kGdsPropAttr, kGdsTypeInt16, 1},
    {kGdsPropValue, kGdsTypeAscii, 0},
    {kGdsBoxType, kGdsTypeInt16, 1},
    {kGdsExtSettingInt32, kGdsTypeInt32, 1},
};

template <size_t N>
const RecordRule* FindRule(const RecordRule (&rules)[N], int type) {
  const auto* end = rules + N;
  const auto* it = std::find_if(rules, end, [type](const RecordRule& r) { return r.type == type; });
  return it == end ? nullptr : it;
}

bool IsOpener(int type) {
  constexpr int kStandard[] = {kGdsBoundary, kGdsPath, kGdsSref, kGdsAref,
                               kGdsText,     kGdsNode, kGdsBox};
  if (type >= kGdsFirstExtRecordKind) return type != kGdsExtSettingInt32;
  return std::find(std::begin(kStandard), std::end(kStandard), type) != std::end(kStandard);
}

bool IsStructural(int type) { return FindRule(kLibraryRules, type) != nullptr; }

std::string Label(int type) {
  const std::string_view name = GdsRecordName(type);
  return name.empty() ? "record " + std::to_string(type) : std::string(name);
}

uint16_t Bits(const GdsRecordView& r) { return static_cast<uint16_t>(r.Int16(0).value_or(0)); }

std::vector<std::string> Slots(const GdsRecordView& r, size_t slot_size) {
  std::vector<std::string> slots;
  for (size_t at = 0; at < r.data.size(); at += slot_size) {
    GdsRecordView slot = r;
    slot.data = r.data.subspan(at, std::min(slot_size, r.data.size() - at));
    slots.emplace_back(slot.Text());
  }
  return slots;
}

std::array<int, 12> Timestamps(const GdsRecordView& r) {
  std::array<int, 12> fields{};
  for (size_t i = 0; i < fields.size(); ++i) fields[i] = r.Int16(i).value_or(0);
  return fields;
}

// Decodes one field record into the element.
bool DecodeField(GdsElement& e, const GdsRecordView& r, std::string* error) {
  switch (r.type) {
    case kGdsElFlags:
      e.elflags = Bits(r);
      break;
    case kGdsLayer:
      e.layer = *r.Int16(0);
      break;
    case kGdsDataType:
    case kGdsTextType:
    case kGdsNodeType:
    case kGdsBoxType:
      e.datatype = *r.Int16(0);
      break;
    case kGdsPathType:
      e.pathtype = *r.Int16(0);
      break;
    case kGdsWidth:
      e.width = *r.Int32(0);
      break;
    case kGdsXy:
      e.xy_counts.push_back(r.Count() / 2);
      for (size_t i = 0; i + 1 < r.Count(); i += 2)
        e.points.push_back({*r.Int32(i), *r.Int32(i + 1)});
      break;
    case kGdsSname:
      e.sname = r.Text();
      break;
    case kGdsString:
      e.text = r.Text();
      break;
    case kGdsUstring:
      e.ustring = r.Text();
      break;
    case kGdsPresentation:
      e.presentation = Bits(r);
      break;
    case kGdsStrans:
      e.strans = Bits(r);
      break;
    case kGdsMag:
      for (size_t i = 0; i < r.Count(); ++i) e.mags.push_back(*r.Real8(i));
      break;
    case kGdsAngle:
      for (size_t i = 0; i < r.Count(); ++i) e.angles.push_back(*r.Real8(i));
      break;
    case kGdsColRow:
      e.columns = *r.Int16(0);
      e.rows = *r.Int16(1);
      break;
    case kGdsUinteger:
      e.uinteger = *r.Int16(0);
      break;
    case kGdsExtSettingInt32:
      for (size_t i = 0; i < r.Count(); ++i) e.int32_values.push_back(*r.Int32(i));
      break;
    case kGdsPropAttr:
      if (e.kind == kGdsExtNamedSetting) {
        e.setting_kind = *r.Int16(0);
      } else {
        e.properties.push_back({*r.Int16(0), {}, r.byte_order});
      }
      break;
    case kGdsPropValue:
      if (e.properties.empty()) {
        *error = "PROPVALUE without PROPATTR";
        return false;
      }
      e.properties.back().value.assign(r.data.begin(), r.data.end());
      break;
    default:
      break;  // kept with the records only
  }
  return true;
}

class LibraryParser {
 public:
  explicit LibraryParser(GdsLibrary* library) : library_(library) {}

  // Takes one record; false with error() set when it does not belong where it stands.
  bool Take(const GdsRecord& record);
  bool ended() const { return ended_; }
  const std::string& error() const { return error_; }

 private:
  bool Fail(const GdsRecord& record, const std::string& what) {
    error_ = Label(record.type) + " at offset " + std::to_string(record.offset) + ": " + what;
    return false;
  }
  std::vector<GdsElement>& Container() {
    return in_structure_ ? library_->structures.back().elements : library_->elements;
  }
  bool CheckRule(const GdsRecord& record);
  bool TakeInElement(const GdsRecord& record);
  bool TakeOutside(const GdsRecord& record);
  bool TakeLibraryRecord(const GdsRecord& record);

  GdsLibrary* library_;
  bool started_ = false;
  bool in_structure_ = false;
  bool element_open_ = false;
  bool ended_ = false;
  std::string error_;
};

bool LibraryParser::CheckRule(const GdsRecord& record) {
  const RecordRule* rule = FindRule(kLibraryRules, record.type);
  if (rule == nullptr) rule = FindRule(kFieldRules, record.type);
  if (rule == nullptr) return true;
  if (record.data_type != rule->data_type) {
    return Fail(record, "data type " + std::to_string(record.data_type) + ", expected " +
                            std::to_string(rule->data_type));
  }
  if (record.Count() < rule->min_items) {
    return Fail(record, "holds " + std::to_string(record.Count()) + " values, expected at least " +
                            std::to_string(rule->min_items));
  }
  return true;
}

bool LibraryParser::Take(const GdsRecord& record) {
  if (!started_) {
    if (record.type != kGdsHeader) return Fail(record, "the stream does not begin with HEADER");
    if (!CheckRule(record)) return false;
    started_ = true;
    library_->version = *record.Int16(0);
    library_->byte_order = record.byte_order;
    return true;
  }
  if (!CheckRule(record)) return false;
  if (element_open_) return TakeInElement(record);
  return TakeOutside(record);
}

bool LibraryParser::TakeInElement(const GdsRecord& record) {
  GdsElement& element = Container().back();
  const int kind = element.kind;
  if (record.type == kGdsEndEl) {
    if (kind == kGdsExtNamedSetting || kind == kGdsExtGroup) {
      return Fail(record, "ends no element (" + Label(kind) + " takes none)");
    }
    element_open_ = false;
    return true;
  }
  if (kind == kGdsExtNamedSetting && record.type == kGdsExtNamedSetting) {
    element_open_ = false;
    return true;
  }
  if (!IsOpener(record.type) && !IsStructural(record.type)) {
    if (!DecodeField(element, record, &error_)) return Fail(record, error_);
    element.records.push_back({record.type,
                               record.data_type,
                               {record.data.begin(), record.data.end()},
                               record.byte_order});
    return true;
  }
  // A group record has no ENDEL: the next element or structure record ends it.
  if (kind == kGdsExtGroup) {
    element_open_ = false;
    return TakeOutside(record);
  }
  return Fail(record, "inside an unfinished " + Label(kind) + " element");
}

bool LibraryParser::TakeOutside(const GdsRecord& record) {
  if (IsOpener(record.type)) {
    GdsElement element;
    element.kind = record.type;
    Container().push_back(std::move(element));
    element_open_ = true;
    return true;
  }
  if (!IsStructural(record.type)) {
    if (FindRule(kFieldRules, record.type) != nullptr) return Fail(record, "outside an element");
    return true;  // a library record this model does not keep
  }
  return TakeLibraryRecord(record);
}

bool LibraryParser::TakeLibraryRecord(const GdsRecord& record) {
  const int type = record.type;
  if (type == kGdsEndEl) return Fail(record, "outside an element");
  if (type == kGdsStrName || type == kGdsEndStr) {
    if (!in_structure_) return Fail(record, "outside a structure");
    if (type == kGdsStrName) library_->structures.back().name = record.Text();
    in_structure_ = type == kGdsStrName;
    return true;
  }
  if (in_structure_) {
    return Fail(record, "inside structure '" + library_->structures.back().name + "'");
  }
  switch (type) {
    case kGdsHeader:
      return Fail(record, "a second HEADER");
    case kGdsBgnLib:
      library_->timestamps = Timestamps(record);
      break;
    case kGdsLibName:
      library_->name = record.Text();
      break;
    case kGdsRefLibs:
      library_->reflibs = Slots(record, kGdsFontNameSize);
      break;
    case kGdsFonts:
      library_->fonts = Slots(record, kGdsFontNameSize);
      break;
    case kGdsUnits:
      library_->has_units = true;
      library_->user_units_per_database_unit = *record.Real8(0);
      library_->metres_per_database_unit = *record.Real8(1);
      break;
    case kGdsBgnStr:
      library_->structures.push_back({{}, Timestamps(record), {}});
      in_structure_ = true;
      break;
    case kGdsEndLib:
      ended_ = true;
      break;
  }
  return true;
}

}  // namespace

int32_t GdsProperty::IntValue() const {
  if (value.size() != 4) return 0;
  return GdsGetInt32(std::span<const uint8_t, 4>(value.data(), 4), byte_order);
}

std::string_view GdsProperty::TextValue() const {
  return GdsRecordView{kGdsPropValue, kGdsTypeAscii, value, byte_order}.Text();
}

std::u16string GdsElement::Utf16() const {
  std::u16string characters;
  const GdsStoredRecord* record = Find(kGdsUstring);
  if (record == nullptr) return characters;
  for (size_t i = 0; i + 1 < record->data.size(); i += 2) {
    characters.push_back(static_cast<char16_t>(record->data[i] | (record->data[i + 1] << 8)));
  }
  return characters;
}

std::variant<std::string, int32_t, double> GdsElement::SettingValue() const {
  switch (setting_kind) {
    case kGdsSettingText:
      return ustring;
    case kGdsSettingInt16:
      return int32_t{uinteger};
    case kGdsSettingInt32:
      return int32_values.empty() ? 0 : int32_values.front();
    default:
      return mags.empty() ? 0.0 : mags.front();
  }
}

const GdsStoredRecord* GdsElement::Find(int record_type) const {
  for (const GdsStoredRecord& record : records) {
    if (record.type == record_type) return &record;
  }
  return nullptr;
}

const GdsStructure* GdsLibrary::FindStructure(std::string_view structure_name) const {
  for (const GdsStructure& structure : structures) {
    if (structure.name == structure_name) return &structure;
  }
  return nullptr;
}

int GdsReadLibrary(GdsRecordReader& reader, GdsLibrary* library, std::string* error) {
  *library = GdsLibrary();
  LibraryParser parser(library);
  GdsRecord record;
  GdsReadStatus status;
  while ((status = reader.Next(&record)) == GdsReadStatus::kRecord) {
    if (!parser.Take(record)) {
      *error = parser.error();
      return 1;
    }
  }
  if (status == GdsReadStatus::kError) {
    *error = reader.error();
    return 1;
  }
  return 0;
}

int GdsReadLibrary(std::string_view path, GdsLibrary* library, std::string* error) {
  GdsRecordReader reader;
  if (!reader.Open(path)) {
    *error = reader.error();
    return 1;
  }
  return GdsReadLibrary(reader, library, error);
}

}  // namespace kavrinth
