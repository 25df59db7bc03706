// The GDSII writer's library layer: opening and ending a library, structures and their
// spool files, and the framing of single records.
#include "gdsii/writer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include "support/paths.h"

namespace kavrinth {

namespace {

constexpr int kStreamVersion = 3;
constexpr double kSmallestTextHeight = 1e-20;

// The library name: the file name after its last separator or colon, upper-cased.
std::string LibraryName(std::string_view file_name) {
  const size_t cut = file_name.find_last_of("/\\:");
  std::string name(cut == std::string_view::npos ? file_name : file_name.substr(cut + 1));
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return name;
}

template <size_t N>
bool AnyByteSet(const std::array<char, N>& area) {
  for (char c : area) {
    if (c != 0) return true;
  }
  return false;
}

}  // namespace

// The FONTS and REFLIBS content of an open: the plain form's font name or the
// extended form's areas.
struct GdsWriter::Fonts {
  std::string_view font_name;
  const GdsRefLibs* reflibs = nullptr;
  const GdsFontTable* fonts = nullptr;
};

double GdsUnitMetres(std::string_view unit_name) {
  for (const GdsUnit& unit : kGdsUnitTable) {
    if (unit.name == unit_name) return unit.metres;
  }
  return 0;
}

GdsWriter::GdsWriter() { state_.clock = GdsLocalTime; }

GdsWriter::~GdsWriter() = default;

void GdsWriter::Fail(int error_number) {
  if (state_.error_number == 0) state_.error_number = error_number != 0 ? error_number : EIO;
}

void GdsWriter::Abandon() {
  // Destroying the files removes the spool files and the unfinished output's temporary.
  state_.spool.clear();
  state_.output_file.reset();
  state_.discard.reset();
  state_.output = state_.level0 = state_.saved = nullptr;
  state_.library_open = false;
  current_ = nullptr;
}

// --- Opening ---

int GdsWriter::OpenLibrary(std::string_view file_name, std::string_view unit_name,
                           double database_unit, std::string_view font_name, double text_height,
                           bool native_order) {
  const int result = BeginLibrary(file_name, GdsUnitMetres(unit_name), database_unit, font_name,
                                  text_height, native_order);
  state_.min_path_width = 0;
  return result;
}

int GdsWriter::BeginLibrary(std::string_view file_name, double unit_metres, double database_unit,
                            std::string_view font_name, double text_height, bool native_order) {
  if (!(database_unit > 0) || !std::isfinite(database_unit)) return kGdsFailed;
  return BeginLibraryCommon(file_name, unit_metres, database_unit, database_unit, Fonts{font_name},
                            text_height, native_order);
}

int GdsWriter::OpenLibraryEx(std::string_view file_name, std::string_view unit_name,
                             double database_unit, double scale, double min_path_width,
                             const GdsRefLibs& reflibs, const GdsFontTable& fonts,
                             bool native_order) {
  const double metres =
      unit_name == kGdsUserUnitName ? state_.user_unit_metres : GdsUnitMetres(unit_name);
  const int result =
      BeginLibraryEx(file_name, metres, database_unit, scale, reflibs, fonts, 1.0, native_order);
  if (state_.library_open) state_.min_path_width = min_path_width;
  return result;
}

int GdsWriter::BeginLibraryEx(std::string_view file_name, double unit_metres, double database_unit,
                              double scale, const GdsRefLibs& reflibs, const GdsFontTable& fonts,
                              double text_height, bool native_order) {
  if (!(database_unit >= 0) || !std::isfinite(database_unit)) return kGdsFailed;
  const bool scaled = std::fabs(scale - 1) > 0.001 && scale > 0 && std::isfinite(scale);
  const double divisor = scaled ? database_unit * scale : database_unit;
  return BeginLibraryCommon(file_name, unit_metres, database_unit, divisor,
                            Fonts{{}, &reflibs, &fonts}, text_height, native_order);
}

int GdsWriter::BeginLibraryCommon(std::string_view file_name, double unit_metres,
                                  double database_unit, double divisor, const Fonts& fonts,
                                  double text_height, bool native_order) {
  Abandon();
  state_.error_number = 0;
  state_.byte_order = native_order ? GdsByteOrder::kLittleEndian : GdsByteOrder::kBigEndian;
  state_.divisor = divisor;
  state_.min_path_width = 0;
  state_.element_flag = false;
  state_.drop_depth = 0;
  auto output = std::make_unique<GdsOutputFile>();
  auto discard = std::make_unique<GdsOutputFile>();
  if (!discard->OpenNull() || !output->OpenReplacing(file_name)) {
    state_.error_number = output->error() != 0 ? output->error() : discard->error();
    return kGdsFailed;
  }
  state_.output_file = std::move(output);
  state_.discard = std::move(discard);
  state_.output = state_.level0 = state_.output_file.get();
  state_.library_open = true;

  int result = kGdsOk;
  Int16Record(kGdsHeader, kStreamVersion);
  std::array<uint8_t, 24> stamp;
  GdsTimestamp(state_.clock(), stamp, state_.byte_order);
  if (Begin(kGdsBgnLib, kGdsTypeInt16, stamp.size())) Put(stamp.data(), stamp.size());
  TextRecord(kGdsLibName, LibraryName(file_name));
  state_.text_heights = {1, 1, 1, 1};
  if (std::fabs(text_height) > kSmallestTextHeight) {
    state_.text_heights[0] = std::fabs(text_height);
  } else {
    result = kGdsLimitApplied;
  }
  if (fonts.reflibs != nullptr) {
    if (AnyByteSet(*fonts.reflibs)) TextRecord(kGdsRefLibs, {fonts.reflibs->data(), 88});
    if (AnyByteSet(*fonts.fonts)) TextRecord(kGdsFonts, {fonts.fonts->data(), 176});
  } else if (!fonts.font_name.empty()) {
    GdsFontTable table{};
    const size_t length = std::min(fonts.font_name.size(), kGdsFontNameSize);
    std::memcpy(table.data(), fonts.font_name.data(), length);
    TextRecord(kGdsFonts, {table.data(), table.size()});
  }
  const double metres_per_database_unit = database_unit * unit_metres;
  RealRecord(kGdsUnits, {database_unit, metres_per_database_unit});
  if (metres_per_database_unit == 0) result = kGdsFailed;
  state_.open_structures = 0;
  state_.structure_name.clear();
  return result;
}

// --- Structures ---

GdsOutputFile* GdsWriter::CurrentStream() {
  if (!state_.library_open) return nullptr;
  const size_t level = (state_.flags & kGdsNoSpooling) ? 0 : state_.spool.size();
  return level == 0 ? state_.level0 : state_.spool[level - 1].get();
}

int GdsWriter::PushStructureFile() {
  if (state_.spool.size() + 1 >= kGdsSpoolLevels) return kGdsFailed;
  const std::string name = MakeTempFileName();
  if (name.empty()) return kGdsFailed;
  auto file = std::make_unique<GdsOutputFile>();
  if (!file->OpenSpool(name)) {
    std::remove(name.c_str());
    return kGdsFailed;
  }
  state_.spool.push_back(std::move(file));
  return kGdsOk;
}

int GdsWriter::PopStructureFile() {
  const size_t target_level = (state_.flags & kGdsSpoolStructureSection) ? 1 : 0;
  if (state_.spool.size() <= target_level) return kGdsOk;
  GdsOutputFile& target = target_level == 0 ? *state_.level0 : *state_.spool[0];
  state_.spool.back()->CopyTo(target);
  if (const int error = state_.spool.back()->Close(); error != 0) Fail(error);
  state_.spool.pop_back();
  return kGdsOk;
}

int GdsWriter::BeginStructure(std::string_view name) {
  if (!state_.library_open) return kGdsFailed;
  if (!(state_.flags & kGdsNoSpooling) && PushStructureFile() != kGdsOk) return kGdsFailed;
  const std::string_view cut = name.substr(0, kGdsMaxStructureName);
  std::array<uint8_t, 24> stamp;
  GdsTimestamp(state_.clock(), stamp, state_.byte_order);
  if (Begin(kGdsBgnStr, kGdsTypeInt16, stamp.size())) Put(stamp.data(), stamp.size());
  TextRecord(kGdsStrName, cut);
  state_.structure_name = std::string(cut);
  ++state_.open_structures;
  return kGdsOk;
}

int GdsWriter::EndStructure() {
  // An ENDSTR without its BGNSTR would leave a stream no reader accepts.
  if (!state_.library_open || state_.open_structures <= 0) return kGdsFailed;
  EmptyRecord(kGdsEndStr);
  --state_.open_structures;
  if (!(state_.flags & kGdsNoSpooling)) PopStructureFile();
  return kGdsOk;
}

int GdsWriter::BeginStructureEx(std::string_view name, bool drop) {
  if (!drop || !(state_.flags & kGdsNoSpooling) || !state_.library_open) {
    return BeginStructure(name);
  }
  // Only the outermost drop saves the stream, so nested drops restore the output.
  if (state_.drop_depth++ == 0) state_.saved = state_.level0;
  state_.output = state_.level0 = state_.discard.get();
  const int result = BeginStructure(name);
  if (result != kGdsOk && --state_.drop_depth == 0) {
    state_.output = state_.level0 = state_.saved;
  }
  return result;
}

int GdsWriter::EndStructureEx(std::string_view /*name*/, bool drop) {
  const int result = EndStructure();
  if (drop && state_.drop_depth > 0 && --state_.drop_depth == 0) {
    state_.output = state_.level0 = state_.saved;
  }
  return result;
}

// --- Ending ---

void GdsWriter::FoldSpoolLevels() {
  // Whatever is still spooled reaches the output, innermost level first, as popping
  // would have placed it.
  while (!state_.spool.empty()) {
    state_.spool.back()->CopyTo(*state_.output);
    if (const int error = state_.spool.back()->Close(); error != 0) Fail(error);
    state_.spool.pop_back();
  }
}

int GdsWriter::EndLibrary() {
  if (!state_.library_open) return kGdsFailed;
  int result = kGdsOk;
  if (state_.open_structures > 0) result = kGdsLimitApplied;
  while (state_.open_structures > 0) EndStructure();
  if (state_.drop_depth > 0) {
    state_.drop_depth = 0;
    state_.output = state_.level0 = state_.saved;
  }
  const size_t expected = (state_.flags & kGdsSpoolStructureSection) ? 1 : 0;
  if (state_.spool.size() > expected) result = kGdsLimitApplied;
  FoldSpoolLevels();
  EmptyRecord(kGdsEndLib);
  FinishLibrary();
  if (CloseAll() != 0) result = kGdsFailed;
  state_.open_structures = 0;
  state_.structure_name.clear();
  return result;
}

void GdsWriter::FinishLibrary() {
  // The current level is 0 here: pad the output to the next 2048-byte block (a whole
  // block when it already ends on one).
  const uint64_t length = state_.output->size();
  state_.output->WriteZeros(2048 - length % 2048);
}

int GdsWriter::CloseAll() {
  while (!state_.spool.empty()) {
    if (const int error = state_.spool.back()->Close(); error != 0) Fail(error);
    state_.spool.pop_back();
  }
  GdsOutputFile& output = *state_.output_file;
  if (state_.error_number != 0) output.SetFailed(state_.error_number);
  if (const int error = output.Close(); error != 0) Fail(error);
  state_.discard->Close();
  const int error_number = state_.error_number;
  Abandon();
  state_.error_number = error_number;
  return error_number;
}

// --- Records ---

bool GdsWriter::Begin(int record_type, int data_type, size_t data_length) {
  current_ = CurrentStream();
  if (current_ == nullptr) return false;
  if (data_length > kGdsMaxRecordData) {
    Fail(EOVERFLOW);
    return false;
  }
  const auto length = static_cast<uint32_t>(kGdsRecordHeaderSize + GdsPaddedLength(data_length));
  const uint32_t word = (length << 16) | ((record_type & 0xFF) << 8) | (data_type & 0xFF);
  std::array<uint8_t, 4> header;
  GdsPutInt32(static_cast<int32_t>(word), header, state_.byte_order);
  Put(header.data(), header.size());
  return true;
}

void GdsWriter::Put16(int32_t value) {
  std::array<uint8_t, 2> bytes;
  GdsPutInt16(value, bytes, state_.byte_order);
  Put(bytes.data(), bytes.size());
}

void GdsWriter::Put32(int32_t value) {
  std::array<uint8_t, 4> bytes;
  GdsPutInt32(value, bytes, state_.byte_order);
  Put(bytes.data(), bytes.size());
}

void GdsWriter::PutReal(double value) {
  std::array<uint8_t, 8> bytes;
  GdsReal8(value, bytes);
  Put(bytes.data(), bytes.size());
}

void GdsWriter::PadAfter(size_t data_length) {
  if (data_length & 1) Put("", 1);
}

void GdsWriter::EmptyRecord(int record_type) { Begin(record_type, kGdsTypeNone, 0); }

void GdsWriter::Int16Record(int record_type, int32_t value, int data_type) {
  if (Begin(record_type, data_type, 2)) Put16(value);
}

void GdsWriter::Int32Record(int record_type, int32_t value, int data_type) {
  if (Begin(record_type, data_type, 4)) Put32(value);
}

void GdsWriter::RealRecord(int record_type, std::initializer_list<double> values) {
  if (!Begin(record_type, kGdsTypeReal8, 8 * values.size())) return;
  for (double value : values) PutReal(value);
}

void GdsWriter::TextRecord(int record_type, std::string_view text) {
  if (!Begin(record_type, kGdsTypeAscii, text.size())) return;
  Put(text.data(), text.size());
  PadAfter(text.size());
}

int GdsWriter::WriteRecord(int record_type, int data_type, std::span<const uint8_t> data) {
  if (!state_.library_open) return kGdsFailed;
  if (record_type == kGdsEndLib) return EndLibrary();
  if (data.size() > kGdsMaxRecordData) return kGdsFailed;
  if (!Begin(record_type, data_type, data_type == kGdsTypeNone ? 0 : data.size())) {
    return kGdsFailed;
  }
  if (data_type == kGdsTypeNone) return kGdsOk;
  Put(data.data(), data.size());
  PadAfter(data.size());
  return kGdsOk;
}

int GdsWriter::WriteEncoded(std::span<const uint8_t> records) {
  current_ = CurrentStream();
  if (current_ == nullptr) return kGdsFailed;
  if (!records.empty()) Put(records.data(), records.size());
  return kGdsOk;
}

int GdsWriter::WriteEncoded(std::span<const std::span<const uint8_t>> blocks) {
  current_ = CurrentStream();
  if (current_ == nullptr) return kGdsFailed;
  current_->WriteBlocks(blocks);
  return kGdsOk;
}

// --- Conversions ---

int32_t GdsWriter::Saturate(double value) {
  constexpr double kMin = std::numeric_limits<int32_t>::min();
  constexpr double kMax = std::numeric_limits<int32_t>::max();
  value = std::trunc(value);
  if (value >= kMin && value <= kMax) return static_cast<int32_t>(value);
  state_.limit_applied = true;
  if (std::isnan(value)) return 0;
  return value < 0 ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
}

int32_t GdsWriter::WidthToDatabase(double width) { return Saturate(width / state_.divisor + 0.5); }

bool GdsWriter::Ready(bool converts) {
  state_.limit_applied = false;
  return state_.library_open && (!converts || state_.divisor > 0);
}

int GdsWriter::Finish(int result) const {
  return result == kGdsOk && state_.limit_applied ? kGdsLimitApplied : result;
}

GdsWriter& DefaultGdsWriter() {
  static GdsWriter writer;
  return writer;
}

double& GdsUserUnitMetres() { return DefaultGdsWriter().user_unit_metres(); }

}  // namespace kavrinth
