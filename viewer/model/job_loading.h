// Loading the current job's data files into the layout database, and the error-coordinate
// list named on the viewer's command line as marker elements.
#pragma once

#include "viewer/model/gdx_database.h"
#include "viewer/model/scan_progress.h"

namespace kavrinth {

// Scans every entry of the layer table that names an existing file into a new library of
// its own (replacing the entry's old one); frees the libraries of entries without a path.
// Files with the extension ".wf2" (any case) are read as WF2 files: a file larger than
// the memory limit gets a frame index in its entry instead of a library.
// -1 when no entry names an existing file; 0 when at least one library was loaded; 1 when
// files existed but none loaded. Cancel stops the whole load (JobState().load_cancelled).
int LoadJobFiles(ScanProgress* progress);

// Loads the error-coordinate file named with "-vefn:" as marker lists, one per run of
// lines on the same layer, and fills the error-coordinates list: the library, or 0 when
// the option is off or the file is empty or cannot be opened. A line that is not a layer
// and two coordinates is skipped.
GdxHandle LoadErrorList();

}  // namespace kavrinth
