// The GDSII record loop: one pass over the input, record by record, that keeps the
// records of the selected structures and layers in the translated stream and hands
// polygons and paths to the PG library on the way (or counts them in the counting pass).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <type_traits>
#include <unordered_set>
#include <vector>

#include "companions/vantor/vantor.h"
#include "gdsii/output_file.h"
#include "gdsii/record_reader.h"
#include "tabreng/engine_log.h"
#include "tabreng/engine_options.h"
#include "tabreng/job_settings.h"
#include "tabreng/pg_library.h"
#include "tabreng/scan_report.h"
#include "tabreng/stream_units.h"
#include "tabreng/work_arrays.h"

namespace kavrinth {

// Pass kinds: the units pass stops after UNITS and writes to the null device; the full
// pass writes the translated stream.
enum PassKind : int { kUnitsPass = 1, kFullPass = 2 };

// Everything a pass reads and the counts it keeps across passes.
struct LoopContext {
  const EngineOptions* options = nullptr;
  const JobSettings* settings = nullptr;
  StructureSelection* selection = nullptr;
  PgLibrary* pg = nullptr;
  EngineLog* log = nullptr;
  WorkArrays* work = nullptr;
  GdsRecordReader* input = nullptr;  // open; rewound by every pass
  std::string input_name;            // for messages
  std::string translated_name;       // for messages
  std::string translated_path;       // native path the full pass writes
  std::string null_device;           // native path of the null device

  // Counts across passes.
  int64_t expected = 0;  // the -polycnt: count, or counted up in the counting pass
  int64_t sent = 0;      // calls of PG and PG_PATH
  int32_t warnings = 0;  // values the engine had to narrow
  StreamUnits units;     // of the last UNITS record
  bool units_seen = false;
  double fixup = 1.0;  // $FIXUP$, set by the full pass
};

// The attributes of an array reference as the loop reads them: columns and rows
// (COLROW), MAG, ANGLE (degrees), reflection (STRANS bit 0x8000) and the three XY points
// (origin, column end, row end). The loop copies an AREF unchanged into the translated
// stream; these are kept with the element for an expansion into single references, which
// the loop does not do.
struct ArrayAttributes {
  int32_t columns = 0;
  int32_t rows = 0;
  double magnification = 1.0;
  double angle = 0;
  bool reflected = false;
  bool have_points = false;
  std::array<int32_t, 6> points{};  // x, y of the origin, the column end and the row end
};

// Records one attribute record (STRANS, MAG, ANGLE, COLROW or XY) of an open array
// reference; other records and values of the wrong shape leave the attributes as they are.
void RecordArrayAttribute(const GdsRecordView& record, ArrayAttributes* array);

class RecordLoop {
 public:
  explicit RecordLoop(LoopContext& context);

  // Runs a pass of the kind (repeated while -prune removes structures). 0 when it
  // reached UNITS (units pass) or ENDLIB (full pass); -1 on Cancel, or after a message
  // for an input it cannot read or an output it cannot write.
  int TranslateStream(int kind);

 private:
  struct Element {
    ArrayAttributes array_attributes;  // of an AREF (`array`)
    bool path = false;
    bool polygon = false;
    bool text = false;   // TEXT seen
    bool array = false;  // AREF seen: its MAG, ANGLE and STRANS are not the text's
    bool skip_reference = false;
    bool skip_element = false;
    bool have_points = false;
    int16_t layer = 0;
    int32_t width = 0;
    int pathtype = 0;
    size_t xy_offset = 0;  // the path's XY record inside the element buffer
    size_t xy_length = 0;
    // Text attributes.
    int font = 0;
    int vertical = 0;
    int horizontal = 0;
    double magnification = 1.0;
    double angle = 0;
    bool reflected = false;
    bool template_flag = false;
    bool have_position = false;
    double x = 0;
    double y = 0;
  };
  static_assert(std::is_trivially_copyable_v<Element>);
  class WidePathPieces;

  int RunPass(int kind);
  int OnRecord(const GdsRecord& record, int kind, bool* done);
  // GDSQUALIFY: the structure name of a STRNAME or SNAME record made plain, in a copy.
  void Qualify(GdsRecord* record);
  int OnStrName(const GdsRecord& record);
  int OnLayer(const GdsRecord& record);
  int OnXy(const GdsRecord& record);
  int OnWidth(const GdsRecord& record);
  int OnTextAttribute(const GdsRecord& record);
  int OnUnits(const GdsRecord& record, int kind, bool* done);
  int OnEndStr();
  int OnEndEl();
  int EndOfLibrary(bool* done);
  int HandOffPolygon(const int32_t* xy, int32_t count);
  int HandOffZeroWidthPath();
  int HandOffWidePath();
  void WriteKeptPiece(std::span<const int32_t> xy);
  void StrokeText();
  void NoteCircle();
  void NoteWidth();
  void NoteSent();
  void WriteElement();
  // Element holds no string, so this is a plain copy; the text keeps its capacity.
  void ClearElement() {
    element_ = Element();
    text_string_.clear();
  }
  bool Kept() const {
    return !skip_structure_ && !element_.skip_reference && !element_.skip_element;
  }
  int Malformed(const GdsRecord& record, std::string_view what);
  int Fail(const std::string& text);
  void Warn(const std::string& text);

  LoopContext& c_;
  GdsOutputFile output_;
  std::vector<uint8_t> buffer_;     // the records of the element being read
  std::vector<uint8_t> qualified_;  // the last structure-name record, qualified
  Element element_;
  std::string text_string_;  // the element's STRING, kept apart so Element stays trivial
  bool skip_structure_ = false;
  std::string structure_;  // the current structure's name
  std::array<char, kPgNameLength> pg_name_{};
  int64_t content_count_ = 0;
  int pass_number_ = 0;
  bool repeat_ = false;
  int last_percent_ = -1;
  int32_t min_width_ = 0;
  double aperture_factor_ = 0;   // metres per user unit in the aperture file's units
  std::vector<int32_t> points_;  // the current element's XY points
  std::vector<PgTrapezoid> table_;
  std::unordered_set<int32_t> widths_seen_;
  std::vector<double> radii_seen_;
};

}  // namespace kavrinth
