// The Error Coordinates list.
#include "viewer/app/error_coords_dlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <string>

#include "support/paths.h"
#include "support/qt/dialogs.h"
#include "viewer/app/display_painter.h"
#include "viewer/app/lumra_app.h"
#include "viewer/app/lumra_view.h"
#include "viewer/app/main_frame.h"
#include "viewer/app/viewer_state.h"
#include "viewer/model/job_loading.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/wf2_scan.h"

namespace kavrinth {
namespace {

std::optional<double> Real(const QString& text) {
  bool ok = false;
  const double value = text.trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(value)) return std::nullopt;
  return value;
}

bool Fits(double value) { return value >= INT32_MIN && value <= INT32_MAX; }

}  // namespace

std::optional<GdxRect> ErrorZoomBox(std::string_view line, const ErrorZoomFrame& frame) {
  const QStringList words = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()))
                                .split(QRegularExpression("[\\s,]+"), Qt::SkipEmptyParts);
  if (words.size() < 3) return std::nullopt;
  const std::optional<double> x_user = Real(words[1]);
  const std::optional<double> y_user = Real(words[2]);
  if (!x_user || !y_user) return std::nullopt;
  // Where the marker of this error stands.
  const double x = std::round(*x_user * frame.factor) - frame.origin_x;
  const double y = frame.origin_y + 2.0 * frame.half_height - std::round(*y_user * frame.factor);
  double ex = double(frame.frame_width);
  double ey = double(frame.frame_height);
  if (ex <= 0 || ey <= 0) {
    // PG data has no frames: a tenth of the data's larger side, at least one unit.
    const double side = std::max(double(frame.extents.max_x) - frame.extents.min_x,
                                 double(frame.extents.max_y) - frame.extents.min_y);
    ex = ey = std::max(1.0, std::round(side / 10));
  }
  const double box[] = {x - ex, y - ey, x + ex, y + ey};
  for (double value : box) {
    if (!Fits(value)) return std::nullopt;
  }
  return GdxRect{static_cast<int32_t>(box[0]), static_cast<int32_t>(box[1]),
                 static_cast<int32_t>(box[2]), static_cast<int32_t>(box[3])};
}

ErrorZoomFrame CurrentErrorZoomFrame() {
  const ViewerDisplayUnits& units = CurrentViewerServices().DisplayUnits();
  const int32_t divisor = units.scale_divisor != 0 ? units.scale_divisor : 1;
  ErrorZoomFrame frame;
  frame.factor = double(units.database_units_per_user_unit) / divisor;
  frame.origin_x = units.origin_x / divisor;
  frame.origin_y = units.origin_y / divisor;
  frame.extents = AppDisplay().job_extents();
  if (JobHasWf2Layer()) {
    const Wf2ScanValues& wf2 = LastWf2Scan();
    frame.half_height = Wf2HeaderWord(JobState().wf2_header, 108);
    frame.frame_width = int64_t{wf2.header.frame_width} * wf2.scale_factor;
    frame.frame_height = int64_t{wf2.header.frame_height} * wf2.scale_factor;
  }
  return frame;
}

CErrorCoordsDlg::CErrorCoordsDlg(CLumraApp* app, QWidget* owner) : QDialog(owner), app_(app) {
  setWindowTitle("Error Coordinates");
  setObjectName("error_coordinates_dialog");
  auto* layout = new QVBoxLayout(this);
  auto* heads = new QHBoxLayout;
  for (const char* text : {"Layer", "X Coordinates", "Y Coordinates"}) {
    auto* label = new QLabel(text, this);
    label->setAccessibleName(text);
    heads->addWidget(label);
  }
  layout->addLayout(heads);
  list_ = new QListWidget(this);
  list_->setObjectName(ControlObjectName(kErrorList));
  list_->setAccessibleName("Error coordinates");
  list_->setSortingEnabled(true);
  list_->setMinimumSize(320, 200);
  list_->verticalScrollBar()->setAccessibleName("Scroll the list up and down");
  list_->horizontalScrollBar()->setAccessibleName("Scroll the list sideways");
  layout->addWidget(list_);
  auto* hint = new QLabel("Double click to zoom into coordinates desired", this);
  hint->setAccessibleName(hint->text());
  layout->addWidget(hint);
  layout->addWidget(OkCancelButtons(this));
  // A double click zooms and keeps the list up.
  connect(list_, &QListWidget::itemDoubleClicked, this, [this] { ZoomToSelection(); });
}

void CErrorCoordsDlg::Refill() {
  list_->clear();
  for (const std::string& row : app_->services().error_rows) {
    list_->addItem(QString::fromStdString(row));
  }
  if (list_->count() > 0) list_->setCurrentRow(0);
}

bool CErrorCoordsDlg::ZoomToSelection() {
  const QListWidgetItem* item = list_->currentItem();
  if (item == nullptr || !AppState().job_loaded) return false;
  const std::optional<GdxRect> box =
      ErrorZoomBox(item->text().toStdString(), CurrentErrorZoomFrame());
  if (!box) return false;
  if (!AppDisplay().window.ZoomToWorldBox(box->min_x, box->min_y, box->max_x, box->max_y)) {
    return false;
  }
  if (app_->view() != nullptr) app_->view()->RequestRedraw();
  return true;
}

void CErrorCoordsDlg::accept() {
  ZoomToSelection();
  QDialog::accept();
}

void LoadErrorMarkers(CLumraApp* app, bool again) {
  const bool given = AppState().error_file_given;
  if (given && !again && !app->services().error_rows.empty()) return;
  ViewLayerEntry& entry = LayerTable()[kMarkerEntry];
  if (entry.library != kGdxNoHandle) GdxFreeLibrary(entry.library);
  entry.library = kGdxNoHandle;
  // The list and the markers are those of the job's own error file: none without one, and
  // none of the job before when the file holds no errors.
  app->services().ErrorListClear();
  if (given) entry.library = LoadErrorList();
  if (auto* dialog = app->frame()->findChild<CErrorCoordsDlg*>()) dialog->Refill();
}

void OnErrorCoordinates(CLumraApp* app) {
  LoadErrorMarkers(app, false);
  CMainFrame* frame = app->frame();
  auto* dialog = frame->findChild<CErrorCoordsDlg*>();
  if (dialog == nullptr) dialog = new CErrorCoordsDlg(app, frame);
  dialog->Refill();
  dialog->show();
  dialog->raise();
}

}  // namespace kavrinth
