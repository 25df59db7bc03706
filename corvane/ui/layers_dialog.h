// The Layers Settings dialog: which selected files take part in the translation and the
// GDS layer of each; its OK writes the engine job file.
#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "corvane/core/session.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QScrollBar;

namespace kavrinth {

inline constexpr int kLayerRows = 32;
// The first file index the rows may show: 0..32.
inline constexpr int kLayerTopMaximum = kLayerDialogFiles - kLayerRows;

// The check box and edit ids of each row.
struct LayerRowIds {
  int check;
  int edit;
};
extern const std::array<LayerRowIds, kLayerRows> kLayerRowIds;

class LayersDialog : public QDialog {
  Q_OBJECT

 public:
  // Reads the session's layer texts and checked indexes, proposing layers from an earlier
  // job for files without a text.
  LayersDialog(CorvaneSession& session, QWidget* parent = nullptr);

  int top() const { return top_; }
  // Scroll requests of the scroll bar and the page buttons (run_program.h's codes).
  void Scroll(int request, int position = 0);

  // Checks every row and every layer to be written, writes the job file and closes.
  void accept() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FillRows();
  // Takes the rows into the table; false after a message on the first unacceptable row.
  bool CollectRows();
  void ShowEngineLayer(int row);
  void AllOn();
  void AllOff();
  bool Present(int index) const;

  CorvaneSession& session_;
  int top_ = 0;
  std::array<bool, kLayerDialogFiles> checked_{};
  std::array<QCheckBox*, kLayerRows> checks_{};
  std::array<QLineEdit*, kLayerRows> edits_{};
  std::array<QLabel*, kLayerRows> engine_layers_{};
  QScrollBar* scroll_bar_ = nullptr;
  bool filling_ = false;
};

}  // namespace kavrinth
