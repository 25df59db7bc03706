// The header stream handed to the post-processor: a GDSII library of named settings
// (the job's aperture and text settings), one layer-file record per output layer, the
// aperture list, and at its end the units flag, the PG scale, $FIXUP$ and $JUMP$, the
// name of the translated stream that holds the elements.
#pragma once

#include <string>
#include <string_view>

#include "gdsii/writer.h"
#include "tabreng/job_settings.h"
#include "tabreng/layer_set.h"
#include "tabreng/stream_units.h"

namespace kavrinth {

// The output file name of a layer: the first 6 characters of the top structure's name,
// the layer as "%02d", and ".gbr" (CHIPTOP, 5: "CHIPTO05.gbr").
std::string LayerOutputName(std::string_view top_name, int layer);

// What the header stream carries of the job besides its settings.
struct HeaderStreamJob {
  std::string top_name;
  LayerSet output_layers;
  std::string translated_name;  // $JUMP$
  double pg_scale = 0;          // PG$SCALE, written when given
  bool pg_scale_given = false;
};

class HeaderStream {
 public:
  // Opens the library at the native path with the unit "USER" of the units known so
  // far (none before the first units pass) and writes the job settings, the
  // layer-file records and the apertures. 0, or -1 when the file cannot be created.
  int Open(const std::string& native_path, const HeaderStreamJob& job, const JobSettings& settings,
           const StreamUnits& units_so_far);
  // Writes GBR$UNIT (1 for a mil user unit, else 3), PG$SCALE when given, $FIXUP$ and
  // $JUMP$, ends the library and shows "100%" in the dialog's third line, emptying the
  // second. 0, or -1 when the library could not be written whole.
  int Close(const StreamUnits& units, double fixup);

  // The errno of the first failure, for the message.
  int error_number() const { return writer_.error_number(); }

 private:
  void WriteSettings(const JobSettings& settings);

  GdsWriter writer_;
  HeaderStreamJob job_;
};

}  // namespace kavrinth
