// The viewer's document. The job itself lives in the layer table and the layout database;
// the document keeps the modified flag and draws the job into the view's picture.
#pragma once

#include <QImage>
#include <functional>

namespace kavrinth {

// The picture's colour index of the background.
inline constexpr int kBackgroundColourIndex = 8;

class CLumraDoc {
 public:
  // Draws the current job into the picture (8-bit, indexed). `cancelled` delivers the
  // waiting events and says whether the user stopped the drawing; the painter calls it
  // between pieces of work. Returns true when the whole view was drawn.
  using Painter = std::function<bool(QImage* picture, const std::function<bool()>& cancelled)>;

  CLumraDoc();

  bool DrawPicture(QImage* picture, const std::function<bool()>& cancelled);
  // Replaces the painter (the drawing code installs its own).
  void SetPainter(Painter painter) { painter_ = std::move(painter); }

  bool IsModified() const { return modified_; }
  void SetModifiedFlag(bool modified) { modified_ = modified; }
  // A new or newly opened job.
  void OnNewDocument() { modified_ = false; }

 private:
  Painter painter_;
  bool modified_ = false;
};

// The painter until the layers are drawn: the background alone.
bool PaintBackgroundOnly(QImage* picture, const std::function<bool()>& cancelled);

}  // namespace kavrinth
