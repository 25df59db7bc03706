// The viewer's document.
#include "viewer/app/lumra_doc.h"

namespace kavrinth {

bool PaintBackgroundOnly(QImage* picture, const std::function<bool()>& cancelled) {
  picture->fill(kBackgroundColourIndex);
  return !cancelled();
}

CLumraDoc::CLumraDoc() : painter_(PaintBackgroundOnly) {}

bool CLumraDoc::DrawPicture(QImage* picture, const std::function<bool()>& cancelled) {
  return painter_(picture, cancelled);
}

}  // namespace kavrinth
