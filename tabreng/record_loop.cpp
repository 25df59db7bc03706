// The record loop and the translated stream.
#include "tabreng/record_loop.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gdsii/encoding.h"
#include "support/progress_sink.h"
#include "tabreng/command_line.h"
#include "tabreng/path_pieces.h"
#include "tabreng/polygon_handoff.h"
#include "tabreng/text_strokes.h"

namespace kavrinth {

namespace {

constexpr uint64_t kStreamBlock = 2048;
constexpr size_t kMaxScanListEntries = 32768;

std::string Printf(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The unit explanation scan mode writes before its unit line.
constexpr const char* kScanUnitsText[] = {
    "#\n",
    "# the first non commemt contain unit info:\n",
    "#\n",
    "# user_grid user_unit_in_meters database_unit_in_meters\n",
    "#\n",
    "# for example, values of 0.001 1.0e-9 1.0e-6 would indicate\n",
    "# a micron database (1.0e-6) with precision of 1 part in 1000 (0.001).\n",
    "#\n",
    "# then Inch and Mm multipliers are provided for easy\n",
    "# conversion of Circle RADII and path Width data to\n",
    "# aperture file formats.\n",
    "#\n",
    "# for this file, a path width of 200 would correspond to\n",
    "#\n",
};

void LogScanUnits(EngineLog& log, const StreamUnits& u) {
  for (const char* line : kScanUnitsText) log.Write(line);
  char text[256];
  std::snprintf(text, sizeof text, "# a %lg draw in inches, or a %lg draw in mm.\n",
                200 * u.metres_per_user / 0.0254, 200 * u.metres_per_user / 0.001);
  log.Write(text);
  log.Write("#\n#\n");
  std::snprintf(text, sizeof text, "U:%lg %lg %lg\n", u.user_per_database, u.metres_per_database,
                u.metres_per_user);
  log.Write(text);
  log.Write(Printf("I:%lg\n", u.metres_per_user / 0.0254));
  log.Write(Printf("M:%lg\n", u.metres_per_user / 0.001));
}

}  // namespace

RecordLoop::RecordLoop(LoopContext& context) : c_(context), table_(kPgTableCapacity) {
  buffer_.reserve(1 << 16);
}

int RecordLoop::Fail(const std::string& text) {
  c_.log->WriteCause(text);
  return ShowEngineFailure(text);
}

void RecordLoop::Warn(const std::string& text) {
  ++c_.warnings;
  c_.log->WriteCause("Warning: " + text);
}

int RecordLoop::Malformed(const GdsRecord& record, std::string_view what) {
  const std::string_view name = GdsRecordName(record.type);
  return Fail("The GDS file '" + c_.input_name + "' has a malformed " +
              (name.empty() ? "record " + std::to_string(record.type) : std::string(name)) +
              " record at offset " + std::to_string(record.offset) + ": " + std::string(what) +
              ".");
}

int RecordLoop::TranslateStream(int kind) {
  pass_number_ = 0;
  int result;
  do {
    repeat_ = false;
    result = RunPass(kind);
    ++pass_number_;
  } while (result == 0 && kind == kFullPass && repeat_);
  if (kind == kFullPass) c_.input->Close();
  return result;
}

int RecordLoop::RunPass(int kind) {
  const std::string& target = kind == kFullPass ? c_.translated_path : c_.null_device;
  if (!output_.OpenReplacing(target)) {
    return Fail("Unable to open GDS file '" + c_.translated_name + "' for output.");
  }
  if (!c_.input->Rewind()) {
    return Fail("Unable to read the GDS file '" + c_.input_name + "': " + c_.input->error() + ".");
  }
  ClearElement();
  skip_structure_ = false;
  buffer_.clear();
  content_count_ = 0;
  last_percent_ = -1;
  SetProgressText("Processing Polygons...", "", "");
  GdsRecord record;
  // Polled for every record, so read where the signal handler sets it.
  const volatile int* const cancel_flag = ProgressCancelFlagAddress();
  for (bool done = false; !done;) {
    if (*cancel_flag != 0) return -1;
    const GdsReadStatus status = c_.input->Next(&record);
    // ENDLIB ends the pass, so the reader never gets to report the end itself.
    if (status != GdsReadStatus::kRecord) {
      return Fail("Unable to read the GDS file '" + c_.input_name + "': " + c_.input->error() +
                  ".");
    }
    if (record.byte_order != GdsByteOrder::kBigEndian) {
      return Fail("The GDS file '" + c_.input_name +
                  "' is not a GDSII stream in the standard byte order.");
    }
    if ((record.type == kGdsStrName || record.type == kGdsSname) && c_.settings->qualify_names) {
      Qualify(&record);
    }
    // An unselected structure's records are never written, so they are not collected.
    if (!skip_structure_ || record.type == kGdsEndLib) {
      buffer_.insert(buffer_.end(), record.bytes.begin(), record.bytes.end());
    }
    if (OnRecord(record, kind, &done) != 0) return -1;
  }
  return 0;
}

void RecordLoop::Qualify(GdsRecord* record) {
  // The name keeps its length, so the record is rewritten in a copy of its own bytes.
  qualified_.assign(record->bytes.begin(), record->bytes.end());
  const size_t header = record->bytes.size() - record->data.size();
  char* name = reinterpret_cast<char*>(qualified_.data() + header);
  ApplyNameCase(name, record->data.size(), kEngineNameCase);
  QualifyStructureName(name, record->data.size());
  record->bytes = qualified_;
  record->data = std::span<const uint8_t>(qualified_).subspan(header);
}

int RecordLoop::OnRecord(const GdsRecord& record, int kind, bool* done) {
  const bool counting = c_.options->counting_pass;
  switch (record.type) {
    case kGdsEndLib:
      return EndOfLibrary(done);
    case kGdsUnits:
      return OnUnits(record, kind, done);
    case kGdsBgnStr:
      ClearElement();
      skip_structure_ = false;
      content_count_ = 0;
      structure_.clear();  // a structure without STRNAME has no name of its own
      return 0;
    case kGdsStrName:
      return OnStrName(record);
    case kGdsEndStr:
      return OnEndStr();
    case kGdsSname:
      if (skip_structure_) return 0;
      if (c_.selection->Contains(record.Text())) {
        ++content_count_;
      } else {
        element_.skip_reference = true;
      }
      return 0;
    case kGdsBoundary:
    case kGdsBox:
      element_.polygon = c_.options->HandOffMode();
      element_.pathtype = 0;
      return 0;
    case kGdsPath:
      element_.path = true;
      element_.pathtype = 0;
      return 0;
    case kGdsPathType:
      if (std::optional<int32_t> value = record.Int16(0)) element_.pathtype = *value & 0xFF;
      return 0;
    case kGdsText:
      element_.text = true;
      return 0;
    case kGdsAref:
      element_.array = true;
      element_.array_attributes = ArrayAttributes();
      return 0;
    case kGdsColRow:
      if (element_.array) RecordArrayAttribute(record, &element_.array_attributes);
      return 0;
    case kGdsMag:
    case kGdsAngle:
    case kGdsStrans:
      if (element_.array) {
        RecordArrayAttribute(record, &element_.array_attributes);
        return 0;
      }
      return element_.text ? OnTextAttribute(record) : 0;
    case kGdsElFlags:
    case kGdsPresentation:
    case kGdsString:
      return element_.text && !element_.array ? OnTextAttribute(record) : 0;
    case kGdsExtCircle:
    case kGdsExtArc:
    case kGdsExtTwoRadiusArc:
      if (counting && (c_.options->scan_mode || c_.options->polygon_mode)) ++c_.expected;
      return 0;
    case kGdsLayer:
      return OnLayer(record);
    case kGdsWidth:
      return element_.skip_element ? 0 : OnWidth(record);
    case kGdsXy:
      if (element_.array) {
        RecordArrayAttribute(record, &element_.array_attributes);
        return 0;
      }
      // Scan mode looks for circles in every structure; otherwise only kept elements
      // need their points.
      return c_.options->scan_mode || Kept() ? OnXy(record) : 0;
    case kGdsEndEl:
      return OnEndEl();
    default:
      return 0;
  }
}

int RecordLoop::OnStrName(const GdsRecord& record) {
  const std::string_view name = record.Text();
  ++content_count_;
  if (!c_.selection->Contains(name)) {
    skip_structure_ = true;
    buffer_.clear();
    return 0;
  }
  if (name.size() > kMaxStructureName) {
    return Fail("The structure name '" + std::string(name) + "' in the GDS file '" + c_.input_name +
                "' is longer than 33 characters.");
  }
  structure_ = name;
  pg_name_.fill('\0');
  std::copy(name.begin(), name.end(), pg_name_.begin());
  const char* action =
      c_.options->counting_pass ? "Scanning Structure..." : "Translating Structure...";
  if (SetProgressStatus(
          {action, structure_.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr}) != 0) {
    return -1;
  }
  WriteElement();
  return 0;
}

int RecordLoop::OnLayer(const GdsRecord& record) {
  const std::optional<int32_t> layer = record.Int16(0);
  if (!layer || record.data_type != kGdsTypeInt16) return Malformed(record, "no 2-byte layer");
  // Layers beyond the layer sets cannot be selected or excluded; in a structure that is
  // translated such a layer is an error.
  if (!skip_structure_ && !LayerSet::IsValidLayer(*layer)) {
    return Fail("Layer " + std::to_string(*layer) + " in structure " + structure_ +
                " of the GDS file '" + c_.input_name + "' is outside 0..1023.");
  }
  element_.layer = static_cast<int16_t>(*layer);
  const EngineOptions& o = *c_.options;
  if ((o.exclude_mode && o.excluded.Test(*layer)) ||
      (o.include_mode && !o.requested.Test(*layer))) {
    element_.skip_element = true;
  } else {
    ++content_count_;
  }
  return 0;
}

int RecordLoop::OnWidth(const GdsRecord& record) {
  const std::optional<int32_t> width = record.Int32(0);
  if (!width || record.data_type != kGdsTypeInt32) return Malformed(record, "no 4-byte width");
  // A negative width is an absolute one: the same width for the pattern generator.
  if (*width == INT32_MIN)
    Warn("a width of " + std::to_string(*width) + " is taken as 2147483647.");
  element_.width = *width == INT32_MIN ? INT32_MAX : std::abs(*width);
  if (c_.options->scan_mode) NoteWidth();
  if (min_width_ > 0 && element_.width <= min_width_) {
    element_.skip_element = true;
  } else {
    --content_count_;
  }
  return 0;
}

void RecordArrayAttribute(const GdsRecordView& record, ArrayAttributes* array) {
  switch (record.type) {
    case kGdsColRow:
      if (record.data.size() < 4) return;
      array->columns = *record.Int16(0);
      array->rows = *record.Int16(1);
      return;
    case kGdsMag:
      array->magnification = record.Real8(0).value_or(array->magnification);
      return;
    case kGdsAngle:
      array->angle = record.Real8(0).value_or(array->angle);
      return;
    case kGdsStrans:
      array->reflected = (record.Int16(0).value_or(0) & 0x8000) != 0;
      return;
    case kGdsXy:
      if (record.data_type != kGdsTypeInt32 || record.data.size() != 24) return;
      for (size_t i = 0; i < 6; ++i) array->points[i] = *record.Int32(i);
      array->have_points = true;
      return;
    default:
      return;
  }
}

int RecordLoop::OnTextAttribute(const GdsRecord& record) {
  Element& e = element_;
  switch (record.type) {
    case kGdsMag:
      e.magnification = record.Real8(0).value_or(e.magnification);
      break;
    case kGdsAngle:
      e.angle = record.Real8(0).value_or(e.angle);
      break;
    case kGdsStrans:
      e.reflected = (record.Int16(0).value_or(0) & 0x8000) != 0;
      break;
    case kGdsElFlags:
      e.template_flag = (record.Int16(0).value_or(0) & 0x0001) != 0;
      break;
    case kGdsPresentation: {
      const int32_t bits = record.Int16(0).value_or(0);
      e.font = (bits >> 4) & 3;
      e.vertical = (bits >> 2) & 3;
      e.horizontal = bits & 3;
      break;
    }
    default:  // STRING
      text_string_ = record.Text();
      break;
  }
  return 0;
}

int RecordLoop::OnXy(const GdsRecord& record) {
  if (element_.text && !element_.array) {
    // A text's position is its single point.
    if (record.data_type == kGdsTypeInt32 && record.data.size() == 8) {
      element_.have_position = true;
      element_.x = *record.Int32(0);
      element_.y = *record.Int32(1);
    }
    return 0;
  }
  if (!element_.path && !element_.polygon) return 0;
  if (record.data_type != kGdsTypeInt32 || record.data.size() % 8 != 0) {
    return Malformed(record, "its points are not pairs of 4-byte integers");
  }
  // The record was appended to the element buffer just now.
  element_.xy_length = record.bytes.size();
  element_.xy_offset = buffer_.size() - record.bytes.size();
  std::vector<int32_t>& points = c_.work->ixy;
  points.resize(record.data.size() / 4);
  // Decoded in place: the pass has already refused records not in big-endian order.
  const uint8_t* data = record.data.data();
  for (size_t i = 0; i < points.size(); ++i) {
    points[i] = GdsGetInt32(std::span<const uint8_t, 4>(data + 4 * i, 4));
  }
  element_.have_points = true;
  if (c_.options->scan_mode) NoteCircle();
  return 0;
}

void RecordLoop::NoteCircle() {
  FittedCircle circle;
  if (!FitCircleToPolygon(c_.work->ixy, 1.0, &circle, c_.work->dble_tmp)) return;
  for (double radius : radii_seen_) {
    if (std::fabs(radius - circle.radius) < 0.001) return;
  }
  if (radii_seen_.size() == kMaxScanListEntries) return;
  radii_seen_.push_back(circle.radius);
  c_.log->Write(Printf("C:%lf\n", circle.radius));
}

void RecordLoop::NoteWidth() {
  if (widths_seen_.size() == kMaxScanListEntries || !widths_seen_.insert(element_.width).second) {
    return;
  }
  c_.log->Write("W:" + std::to_string(element_.width) + "\n");
}

int RecordLoop::OnUnits(const GdsRecord& record, int kind, bool* done) {
  WriteElement();
  const std::optional<double> user = record.Real8(0), metres = record.Real8(1);
  StreamUnits units;
  if (!user || !metres || !MakeStreamUnits(*user, *metres, &units)) {
    return Malformed(record, "its units are not two positive reals");
  }
  if (c_.options->scan_mode) LogScanUnits(*c_.log, units);
  c_.units = units;
  c_.units_seen = true;
  if (kind == kUnitsPass) {
    *done = true;
    return output_.Close() == 0 ? 0
                                : Fail("Unable to write GDS file '" + c_.translated_name + "'.");
  }
  c_.fixup = units.fixup;
  const int aperture_units = c_.settings->aperture.units;
  aperture_factor_ = aperture_units == kApertureInch ? units.metres_per_user / 0.0254
                     : aperture_units == kApertureMm ? units.metres_per_user / 0.001
                                                     : units.metres_per_user;
  const double min_line = c_.settings->min_line;
  min_width_ =
      min_line > 0 ? static_cast<int32_t>(std::min(min_line / units.user_per_database, 2e9)) : 0;
  ClearElement();
  skip_structure_ = false;
  content_count_ = 0;
  return 0;
}

int RecordLoop::OnEndStr() {
  if (!skip_structure_) {
    WriteElement();
    // Only a selected structure can be pruned; removing it is what ends the repeats, so
    // an ENDSTR that closes no selected structure (a malformed stream) repeats nothing.
    if (c_.options->prune && content_count_ == 1 && c_.selection->Contains(structure_)) {
      c_.selection->Remove(structure_);
      repeat_ = true;
    }
  }
  structure_.clear();
  buffer_.clear();
  return 0;
}

int RecordLoop::OnEndEl() {
  int result = 0;
  if (Kept() && !buffer_.empty()) {
    const bool first_run = pass_number_ == 0;
    if (element_.path && first_run) {
      result = element_.width == 0 ? HandOffZeroWidthPath() : HandOffWidePath();
    } else if (element_.polygon) {
      const std::vector<int32_t>& points = c_.work->ixy;
      result = HandOffPolygon(points.data(),
                              element_.have_points ? static_cast<int32_t>(points.size() / 2) : 0);
    } else if (element_.text && !element_.array) {
      WriteElement();
      if (c_.settings->text_stroking) StrokeText();
    } else {
      WriteElement();
    }
  }
  ClearElement();
  buffer_.clear();
  return result;
}

int RecordLoop::EndOfLibrary(bool* done) {
  WriteElement();
  const uint64_t tail = output_.size() % kStreamBlock;
  if (tail != 0) output_.WriteZeros(kStreamBlock - tail);
  *done = true;
  if (output_.Close() != 0) return Fail("Unable to write GDS file '" + c_.translated_name + "'.");
  return 0;
}

void RecordLoop::WriteElement() {
  output_.Write(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void RecordLoop::NoteSent() {
  ++c_.sent;
  if (c_.expected <= 0) return;
  const int percent = static_cast<int>(std::min<int64_t>(c_.sent * 100 / c_.expected, 100));
  if (percent == last_percent_) return;
  last_percent_ = percent;
  const std::string text = std::to_string(percent) + "%";
  SetProgressText(nullptr, text.c_str(), "");
}

int RecordLoop::HandOffPolygon(const int32_t* xy, int32_t count) {
  if (c_.options->counting_pass) {
    ++c_.expected;
    return 0;
  }
  int32_t filled =
      c_.pg->Polygon(xy, count, table_.data(), kPgTableCapacity, c_.fixup, pg_name_.data());
  NoteSent();
  if (filled < 0 || filled > kPgTableCapacity) {
    Warn("the PG library returned " + std::to_string(filled) + " trapezoids for a polygon of " +
         structure_ + "; the table holds " + std::to_string(kPgTableCapacity) + ".");
    filled = std::clamp(filled, 0, kPgTableCapacity);
  }
  std::array<uint8_t, kTrapezoidBoundaryBytes> bytes;
  bool fits = true;
  for (int32_t i = 0; i < filled; ++i) {
    fits =
        EncodeTrapezoidBoundary(element_.layer, table_[static_cast<size_t>(i)], c_.fixup, bytes) &&
        fits;
    output_.Write(bytes.data(), bytes.size());
  }
  if (!fits) Warn("a trapezoid of " + structure_ + " lies beyond the 32-bit coordinate range.");
  return 0;
}

int RecordLoop::HandOffZeroWidthPath() {
  if (c_.options->counting_pass) {
    ++c_.expected;
  } else if (element_.have_points) {
    const std::vector<int32_t>& points = c_.work->ixy;
    c_.pg->Path(points.data(), static_cast<int32_t>(points.size() / 2), c_.fixup, pg_name_.data());
    NoteSent();
  }
  WriteElement();
  return 0;
}

// Outline pieces go to PG (or are counted); kept pieces become path elements.
class RecordLoop::WidePathPieces : public PathPieceSink {
 public:
  explicit WidePathPieces(RecordLoop& loop) : loop_(loop) {}
  void Outline(std::span<const int32_t> xy) override {
    loop_.HandOffPolygon(xy.data(), static_cast<int32_t>(xy.size() / 2));
  }
  void PathPiece(std::span<const int32_t> xy) override { loop_.WriteKeptPiece(xy); }

 private:
  RecordLoop& loop_;
};

int RecordLoop::HandOffWidePath() {
  const std::vector<int32_t>& points = c_.work->ixy;
  const size_t count = element_.have_points ? points.size() / 2 : 0;
  PathModeContext mode;
  mode.path_mode = c_.settings->path_mode;
  mode.user_per_database = c_.units.user_per_database;
  mode.aperture_factor = aperture_factor_;
  mode.scale_factor = c_.settings->scale_factor;
  mode.apertures = &c_.settings->aperture;
  const bool outlined = IsPathOutlined(mode, element_.width, element_.pathtype);
  if (count < 2 || (count == 2 && !outlined)) {
    WriteElement();
    return 0;
  }
  WidePath path;
  path.xy = std::span<const int32_t>(points.data(), 2 * count);
  path.width = element_.width;
  path.pathtype = element_.pathtype;
  path.outlined = outlined;
  path.count_only = c_.options->counting_pass;
  WidePathPieces sink(*this);
  EngineLog* debug_log = c_.options->keep_temporaries ? c_.log : nullptr;
  if (!CutWidePath(path, sink, debug_log).fits) {
    Warn("an outline of a path of " + structure_ + " lies beyond the 32-bit range.");
  }
  return 0;
}

// A kept piece is the path element again, with the piece's points as its XY record.
void RecordLoop::WriteKeptPiece(std::span<const int32_t> xy) {
  const size_t xy_end = element_.xy_offset + element_.xy_length;
  output_.Write(buffer_.data(), element_.xy_offset);
  std::vector<uint8_t> record;
  const size_t length = xy.size() * 4 + 4;
  record.reserve(length);
  record.insert(record.end(), {static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length),
                               static_cast<uint8_t>(kGdsXy), static_cast<uint8_t>(kGdsTypeInt32)});
  for (int32_t value : xy) {
    const uint32_t bits = static_cast<uint32_t>(value);
    record.insert(record.end(), {static_cast<uint8_t>(bits >> 24), static_cast<uint8_t>(bits >> 16),
                                 static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits)});
  }
  output_.Write(record.data(), record.size());
  output_.Write(buffer_.data() + xy_end, buffer_.size() - xy_end);
}

void RecordLoop::StrokeText() {
  if (!element_.have_position) return;
  EngineText text;
  text.text = text_string_;
  text.layer = element_.layer;
  text.horizontal = element_.horizontal;
  text.vertical = element_.vertical;
  text.font = element_.font;
  text.height = element_.magnification / c_.units.user_per_database;
  text.angle = element_.angle;
  text.x = element_.x;
  text.y = element_.y;
  text.reflected = element_.reflected;
  text.template_flag = element_.template_flag;
  std::vector<uint8_t> bytes;
  const TextStrokeResult result =
      TextToPolygons(text, c_.settings->fonts, c_.settings->text_scales, bytes);
  output_.Write(bytes.data(), bytes.size());
  if (!result.fits) Warn("a stroke of a text of " + structure_ + " lies beyond the 32-bit range.");
  if (result.incomplete) {
    Warn("the font cannot stroke all of the text '" + text_string_ + "' in " + structure_ + ".");
  }
}

}  // namespace kavrinth
