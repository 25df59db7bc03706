// The glass, the layer information texts and the job report.
#include "viewer/app/glass_info.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QUrl>
#include <QVBoxLayout>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "support/notifier.h"
#include "support/paths.h"
#include "support/qt/dialogs.h"
#include "support/qt/text_edit.h"
#include "viewer/app/display_painter.h"
#include "viewer/app/lumra_app.h"
#include "viewer/app/lumra_view.h"
#include "viewer/app/main_frame.h"
#include "viewer/app/viewer_state.h"
#include "viewer/model/reports.h"

namespace kavrinth {
namespace {

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int size = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(size > 0 ? size : 0, '\0');
  if (size > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}

constexpr const char* kReportFileName = "nolttxt.rpt";

// Database units over the divisor.
double Shown(double value, const InfoUnits& units) { return value / units.divisor; }

QString EditText(int32_t hundredths) { return QString::asprintf("%.*f", 2, hundredths / 100.0); }

// A typed size in hundredths, rounded half away from zero: nothing when it is not a number
// or outside low..kMaxGlassHundredths.
std::optional<int32_t> Hundredths(const QString& text, double low) {
  bool ok = false;
  const double value = text.trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(value)) return std::nullopt;
  const double hundredths = std::round(value * 100.0);
  if (hundredths < low || hundredths > kMaxGlassHundredths) return std::nullopt;
  return static_cast<int32_t>(hundredths);
}

void Redraw(CLumraApp* app) {
  MarkFullViewStale(kFullViewDrawing);
  if (AppState().job_loaded && app->view() != nullptr) app->view()->RequestRedraw();
}

const ViewLayerEntry& CurrentEntry() {
  const int32_t layer = AppState().current_layer;
  return LayerTable()[layer >= 0 && layer < kViewLayerCount ? layer : 0];
}

}  // namespace

bool& GlassShown() {
  static bool shown = false;
  return shown;
}

bool& GlassSettingsPermanent() {
  static bool permanent = true;
  return permanent;
}

int GlassPlacementFlags(int32_t pg_format) {
  if (pg_format == 0) return 1;
  if (pg_format == 1 || pg_format == 2) return 3;
  return 0;
}

InfoUnits CurrentInfoUnits() {
  InfoUnits units;
  if (!AppState().job_loaded) return units;  // the values in force before any job
  const UnitDigits& digits = CurrentUnitDigits();
  units.divisor = digits.units_per_user_unit > 0 ? digits.units_per_user_unit : 1;
  units.decimals = std::clamp(digits.decimals, 0, 9);
  const ViewerImportSettings& import = ImportSettings();
  std::string_view name = UnitCodeName(import.unit_code);
  // Before a unit is set the unit table names it.
  if (name.empty()) name = import.metric ? "UM" : "MIL";
  units.name = std::string(name);
  units.metres_per_user_unit = name == "MIL" ? 2.54e-5 : 1e-6;
  return units;
}

std::optional<GlassRect> GlassRectangle(const ViewerSettings& settings, int32_t pg_format,
                                        const InfoUnits& units) {
  const int flags = GlassPlacementFlags(pg_format);
  if (flags == 0 || units.metres_per_user_unit <= 0) return std::nullopt;
  const double metres_per_hundredth = (settings.glass_unit == 0 ? 0.0254 : 0.001) / 100.0;
  auto side = [&](int32_t hundredths) -> std::optional<int32_t> {
    const double value =
        std::trunc(hundredths * metres_per_hundredth / units.metres_per_user_unit * units.divisor);
    if (!(value >= 1) || value > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(value);
  };
  const std::optional<int32_t> w = side(settings.glass_width);
  const std::optional<int32_t> h = side(settings.glass_height);
  if (!w || !h) return std::nullopt;
  GlassRect rect{0, 0, *w, *h};
  if (flags & 2) rect = {-(*w / 2), -(*h / 2), *w - *w / 2, *h - *h / 2};
  return rect;
}

std::string BiasText(const ViewLayerEntry& e, const InfoUnits& u,
                     const std::optional<GlassRect>& glass) {
  if (!glass) return {};
  const int n = u.decimals;
  // Centres in doubles: nothing is cut to whole shown units.
  const double cx = (double(e.min_x) + e.max_x) / 2;
  const double cy = (double(e.min_y) + e.max_y) / 2;
  const double gx = (double(glass->min_x) + glass->max_x) / 2;
  const double gy = (double(glass->min_y) + glass->max_y) / 2;
  std::string text = Printf("UNITS:%s\r\n\r\nEXTENTS(X,Y):\r\n", u.name.c_str());
  text += Printf("   Min(%.*f,%.*f)\r\n", n, Shown(e.min_x, u), n, Shown(e.min_y, u));
  text += Printf("   Max(%.*f,%.*f)\r\n\r\n", n, Shown(e.max_x, u), n, Shown(e.max_y, u));
  text += Printf("CENTER:(%.*f,%.*f)", n, Shown(cx, u), n, Shown(cy, u));
  text += Printf("\r\n\r\nBIAS TO CENTER:\r\n   (%.*f,%.*f)", n, Shown(gx - cx, u), n,
                 Shown(gy - cy, u));
  return text;
}

std::string MinMaxText(const ViewLayerEntry& e, const InfoUnits& u) {
  const int n = u.decimals;
  std::string text = Printf("UNITS:%s\r\n\r\nARC/CIRCLE/PRIMITIVE:\r\n", u.name.c_str());
  // The rotation rows show what the scan keeps in their place, the radii of the round
  // flashes: lengths, shown like the widths.
  text += Printf("Min. Rotation:%.*f\r\n", n, Shown(e.smallest_round, u));
  text += Printf("Min. Width:%.*f\r\n", n, Shown(e.smallest_width, u));
  text += Printf("Min. Height:%.*f\r\n", n, Shown(e.smallest_height, u));
  text += Printf("Max. Rotation:%.*f\r\n", n, Shown(e.largest_round, u));
  text += Printf("Max. Width:%.*f\r\n", n, Shown(e.largest_width, u));
  text += Printf("Max. Height:%.*f\r\n", n, Shown(e.largest_height, u));
  return text;
}

std::string CountText(const ViewLayerEntry& e, int32_t layer) {
  return Printf("Active Layer:%d\r\n\r\n", layer) +
         Printf("Primitive Count:%d\r\n", e.first_count) +
         Printf("Arc/Circle Count:%d\r\n", e.second_count);
}

CGlassSetupDlg::CGlassSetupDlg(CLumraApp* app, QWidget* owner) : QDialog(owner), app_(app) {
  setWindowTitle("Glass Setup");
  setObjectName("glass_setup_dialog");
  const ViewerSettings& s = AppState().settings;
  auto* layout = new QVBoxLayout(this);
  auto* size = new QGroupBox("Size", this);
  size->setAccessibleName("Size");
  auto* grid = new QGridLayout(size);
  auto radio = [this, size](int id, const char* text) {
    auto* button = new QRadioButton(text, size);
    button->setObjectName(ControlObjectName(id));
    button->setAccessibleName(text);
    return button;
  };
  QRadioButton* inch = radio(kGlassInch, "Inch");
  QRadioButton* mm = radio(kGlassMm, "MM");
  (s.glass_unit == 1 ? mm : inch)->setChecked(true);
  grid->addWidget(inch, 0, 0);
  grid->addWidget(mm, 0, 1);
  int row = 1;
  for (auto [id, text, value] : {std::tuple{kGlassWidth, "Width", s.glass_width},
                                 std::tuple{kGlassHeight, "Height", s.glass_height},
                                 std::tuple{kGlassMargin, "Margin", s.glass_margin}}) {
    auto* label = new QLabel(text, size);
    auto* edit = new QLineEdit(EditText(value), size);
    edit->setObjectName(ControlObjectName(id));
    edit->setAccessibleName(text);
    label->setBuddy(edit);
    grid->addWidget(label, row, 0);
    grid->addWidget(edit, row++, 1);
  }
  layout->addWidget(size);
  auto* settings = new QGroupBox("Settings", this);
  settings->setAccessibleName("Settings");
  auto* ticks = new QVBoxLayout(settings);
  for (auto [id, text, on] :
       {std::tuple{kGlassShowOnStart, "Display glass on startup", s.glass_display_startup != 0},
        std::tuple{kGlassCrosshair, "Display glass crosshair", s.glass_display_ch != 0},
        std::tuple{kGlassPermanent, "Make settings permanent", GlassSettingsPermanent()}}) {
    auto* box = new QCheckBox(text, settings);
    box->setObjectName(ControlObjectName(id));
    box->setAccessibleName(text);
    box->setChecked(on);
    ticks->addWidget(box);
  }
  layout->addWidget(settings);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
  QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
  QPushButton* help = buttons->addButton(QDialogButtonBox::Help);
  ok->setObjectName(ControlObjectName(kAnswerOk));
  cancel->setObjectName(ControlObjectName(kAnswerCancel));
  help->setObjectName(ControlObjectName(kGlassHelp));
  ok->setAccessibleName("OK");
  cancel->setAccessibleName("Cancel");
  help->setAccessibleName("Help");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(help, &QPushButton::clicked, this, [this] { app_->OnHelp(this); });
  layout->addWidget(buttons);
}

void CGlassSetupDlg::accept() {
  // Sizes are checked before anything is taken: a glass must have sides to be drawn.
  struct Field {
    int id;
    const char* name;
    double low;
    int32_t value = 0;
  };
  Field fields[] = {
      {kGlassWidth, "Width", 1}, {kGlassHeight, "Height", 1}, {kGlassMargin, "Margin", 0}};
  for (Field& field : fields) {
    auto* edit = FindControl<QLineEdit>(this, field.id);
    const std::optional<int32_t> value = Hundredths(edit->text(), field.low);
    if (!value) {
      ShowMessage(Printf("%s must be a number from %s to %d.", field.name,
                         field.low > 0 ? "0.01" : "0", kMaxGlassHundredths / 100),
                  "Glass Setup", MessageIcon::kWarning);
      edit->setFocus();
      edit->selectAll();
      return;
    }
    field.value = *value;
  }
  ViewerSettings& s = AppState().settings;
  s.glass_width = fields[0].value;
  s.glass_height = fields[1].value;
  s.glass_margin = fields[2].value;
  s.glass_unit = FindControl<QRadioButton>(this, kGlassMm)->isChecked() ? 1 : 0;
  s.glass_display_startup = FindControl<QCheckBox>(this, kGlassShowOnStart)->isChecked() ? 1 : 0;
  s.glass_display_ch = FindControl<QCheckBox>(this, kGlassCrosshair)->isChecked() ? 1 : 0;
  GlassSettingsPermanent() = FindControl<QCheckBox>(this, kGlassPermanent)->isChecked();
  s.glass_valid = GlassSettingsPermanent();
  ApplyGlassToDisplay();
  if (GlassShown()) Redraw(app_);
  QDialog::accept();
}

CInfoDlg::CInfoDlg(const std::string& title, const std::string& body, QWidget* owner)
    : QDialog(owner) {
  setObjectName("info_dialog");
  SetWindowTextLiteral(this, title);
  auto* layout = new QVBoxLayout(this);
  auto* text = new PasteGuardedTextEdit(this);
  text->setObjectName(ControlObjectName(1000));
  text->setAccessibleName(QString::fromStdString(title));
  text->setReadOnly(true);
  text->setPlainText(QString::fromStdString(body).replace("\r\n", "\n"));
  text->setMinimumSize(320, 220);
  text->verticalScrollBar()->setAccessibleName("Scroll the text up and down");
  text->horizontalScrollBar()->setAccessibleName("Scroll the text sideways");
  layout->addWidget(text);
  auto* close = new QPushButton("Close", this);
  close->setObjectName(ControlObjectName(kAnswerCancel));
  close->setAccessibleName("Close");
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  layout->addWidget(close);
}

void ApplyGlassToDisplay() {
  const ViewerSettings& s = AppState().settings;
  const InfoUnits units = CurrentInfoUnits();
  DisplaySettings& display = AppDisplay().settings;
  display.glass_on = GlassShown();
  display.glass_width = s.glass_width;
  display.glass_height = s.glass_height;
  display.glass_margin = s.glass_margin;
  display.glass_unit_mm = s.glass_unit == 1;
  display.glass_cross_hair = s.glass_display_ch != 0;
  display.plate_kind_flags = GlassPlacementFlags(ImportSettings().pg_format);
  display.metres_per_user_unit = units.metres_per_user_unit;
  display.coordinate_divisor = units.divisor;
}

namespace {

// Shows or hides the glass: shown, the view takes in the glass and the data; hidden, the
// data alone. False when the job's format has no plate or the glass cannot be placed.
bool ShowGlass(bool on) {
  const InfoUnits units = CurrentInfoUnits();
  const std::optional<GlassRect> glass =
      GlassRectangle(AppState().settings, ImportSettings().pg_format, units);
  if (!glass) return false;
  GlassShown() = on;
  ApplyGlassToDisplay();
  ViewerDisplay& display = AppDisplay();
  if (on) {
    GdxRect extents = display.job_extents();
    extents.min_x = std::min(extents.min_x, glass->min_x);
    extents.min_y = std::min(extents.min_y, glass->min_y);
    extents.max_x = std::max(extents.max_x, glass->max_x);
    extents.max_y = std::max(extents.max_y, glass->max_y);
    display.window.ZoomToRect(extents, units.divisor);
  } else {
    display.ComputeJobExtents();
  }
  return true;
}

}  // namespace

void OnGlassOnOff(CLumraApp* app) {
  if (ShowGlass(!GlassShown())) Redraw(app);
}

void OnJobChangedForGlass() {
  // A job opens without the glass unless it is to be shown on opening.
  GlassShown() = false;
  ApplyGlassToDisplay();
  if (AppState().job_loaded && AppState().settings.glass_display_startup != 0) ShowGlass(true);
}

void OnGlassSetup(CLumraApp* app) {
  CGlassSetupDlg dialog(app, app->frame());
  RunModal(dialog, QDialog::Rejected);
}

namespace {

void ShowInfo(CLumraApp* app, const std::string& title, const std::string& body) {
  CInfoDlg dialog(title, body, app->frame());
  RunModal(dialog, QDialog::Rejected);
}

}  // namespace

void OnBias(CLumraApp* app) {
  const InfoUnits units = CurrentInfoUnits();
  const int32_t format = ImportSettings().pg_format;
  const std::string text =
      BiasText(CurrentEntry(), units, GlassRectangle(AppState().settings, format, units));
  // A format without a glass has no bias to show.
  if (!text.empty()) ShowInfo(app, "Bias", text);
}

void OnMinMax(CLumraApp* app) {
  ShowInfo(app, "Min-Max", MinMaxText(CurrentEntry(), CurrentInfoUnits()));
}

void OnCount(CLumraApp* app) {
  ShowInfo(app, "Count", CountText(CurrentEntry(), AppState().current_layer));
}

std::string ReportFilePath() {
  const std::string& directory = AppState().temporary_directory;
  return MakePath(directory.empty() ? QDir::currentPath().toStdString() : directory,
                  kReportFileName);
}

int OnReport(CLumraApp* app) {
  const std::string path = ReportFilePath();
  if (WriteReport(path) != 0) {
    ShowMessage("The report " + path + " could not be written.", kVexilAppName, MessageIcon::kStop);
    return 1;
  }
  // The user's editor, as the desktop chooses it, with the report's path as one argument.
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)))) {
    ShowMessage("The report is in " + path + "; no editor could be started for it.", kVexilAppName,
                MessageIcon::kInformation);
  }
  (void)app;
  return 0;
}

}  // namespace kavrinth
