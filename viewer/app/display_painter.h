// The job drawn into the view's picture: the display library draws every shown layer into
// its 8-bit surface, whose bytes and colour table become the picture the view shows.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <map>

#include "viewer/display/viewer_display.h"

namespace kavrinth {

// The viewer's one display: the drawing window's state, surface and palette.
ViewerDisplay& AppDisplay();

// The painter the document uses: draws the open job into the picture (8-bit, indexed),
// asking `cancelled` every 200 elements and after each layer. True when the whole view was
// drawn; a cancelled drawing leaves what it drew.
bool PaintJob(QImage* picture, const std::function<bool()>& cancelled);

// The window that shows the picture: repainted after each layer while a drawing runs, so
// that the picture builds up as it is drawn (none: shown at the end only).
void SetPictureWidget(QWidget* widget);

// Draws what the editor added over the layers, after them and before the picture is shown
// (none: nothing).
void SetEditLayersPainter(std::function<void(ViewerDisplay&, DrawHost*)> painter);

// Draws the listed entries of each layer into the picture over what it shows, and the
// overlays over them (the picture must be the view's current one): false when it cannot,
// and a full drawing is needed.
bool PaintHitEntries(QImage* picture, const std::map<int, ViewerDisplay::HitEntryList>& by_layer,
                     const std::map<int, ViewerDisplay::HitNumberList>& numbers_by_layer = {});

// Draws the element a query left as it was and the one it found highlighted over the
// picture (the view's current, complete one): false when it cannot (the next drawing shows
// the highlight).
bool PaintQueryHighlight(QImage* picture, const QueryHighlight& before, const QueryHighlight& now);

// The job has a WF2 layer (a file named ".wf2").
bool JobHasWf2Layer();
// Takes the frame grid of the display (pitch, columns and rows) from the WF2 data scanned
// last; none when the job has no WF2 layer.
void SetFrameGridOfJob();
// Draws the overlays (frame grid, glass, grid) over the picture at once (the picture must
// be the view's current, complete one): false when it cannot, and a full drawing is needed.
bool PaintOverlays(QImage* picture);

// The drawing's grid follows the stored settings: shown while "GridOn" is set, with the step
// that the "GridSnap" text gives in the units of the job loaded last.
void ApplyGridSettings();
// A job was loaded: the view is fitted to its extents.
void FitDisplayToJob();
// The job is going: the kept WF2 section is freed and the view forgotten.
void ResetDisplay();

}  // namespace kavrinth
