// The viewer's main window: command table, menus, toolbar, status panes and settings.
#include "viewer/app/main_frame.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QCursor>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <optional>
#include <string_view>

#include "support/colors.h"
#include "support/notifier.h"
#include "support/paths.h"
#include "support/qt/color_picker.h"
#include "support/qt/dialogs.h"
#include "support/qt/help_window.h"
#include "support/qt/window_helpers.h"
#include "support/qt/window_placement.h"
#include "viewer/app/display_painter.h"
#include "viewer/app/draw_interaction.h"
#include "viewer/app/lumra_app.h"
#include "viewer/app/lumra_view.h"
#include "viewer/app/plot_display.h"
#include "viewer/app/single_instance.h"
#include "viewer/app/viewer_state.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/wf2_scan.h"
#include "viewer/plot/plot_commands.h"
#include "viewer/plot/qt/plot_window_dialog.h"
#include "viewer/plot/qt/qt_plot_host.h"

namespace kavrinth {
namespace {

using Handler = void (CMainFrame::*)();
using Rule = bool (CMainFrame::*)() const;

// One command of the viewer: its id, menu text, shortcuts (';' between several), status
// prompt, handler and rules. A command without a handler belongs to a part of the viewer
// that is not built yet: it is shown disabled.
struct FrameCommand {
  int id;
  const char* text;
  const char* shortcuts;
  const char* prompt;
  Handler handler;
  Rule enabled;  // null: enabled whenever it has a handler
  Rule checked;  // null: no tick mark
};

constexpr const char* kZoomWindowPrompt =
    "Press mouse button at zoom WINDOW corner and release it at a 2nd corner ";

const FrameCommand kFrameCommands[] = {
    {kCmdFileNew, "&New", "Ctrl+N", "Create a new document", &CMainFrame::OnFileNew,
     &CMainFrame::Idle, nullptr},
    {kCmdFileOpen, "&Open...", "Ctrl+O", "Open an existing document", &CMainFrame::OnFileOpen,
     &CMainFrame::Idle, nullptr},
    {kCmdFileClose, "&Close", "", "Close current job", &CMainFrame::OnFileClose, &CMainFrame::Idle,
     nullptr},
    {kCmdLayerTable, "&Layer...", "Ctrl+L", "Display GDX Layer Table", nullptr, nullptr, nullptr},
    {kCmdSave, "Save", "", "", &CMainFrame::OnSave, &CMainFrame::EditToolsIdle, nullptr},
    {kCmdViewToolbar, "&Toolbar", "", "Show or hide the toolbar", &CMainFrame::OnViewToolbar,
     nullptr, &CMainFrame::ToolbarShown},
    {kCmdViewStatusBar, "&Status Bar", "", "Show or hide the status bar",
     &CMainFrame::OnViewStatusBar, nullptr, &CMainFrame::StatusBarShown},
    {kCmdBackgroundColor, "&Background Color...", "", "Change the background color",
     &CMainFrame::OnBackgroundColor, &CMainFrame::Idle, nullptr},
    {kCmdTemporaryDirectory, "Temporary &Directory...", "", "Change the temporary directory",
     nullptr, nullptr, nullptr},
    {kCmdFillOnOff, "&Fill On/Off", "", "Saves the fill or outline display setting for startup",
     &CMainFrame::OnFillOnOff, nullptr, &CMainFrame::DefaultFillOn},
    {kCmdGlassSetup, "&Glass Setup...", "", "Launch dialog to setup glass dimensions and settings.",
     nullptr, nullptr, nullptr},
    {kCmdCancelDrawing, "Cancel drawing", "Esc", "Cancel drawing operation",
     &CMainFrame::OnCancelDrawing, nullptr, nullptr},
    {kCmdMainEvent, "MAINEVENT", "", "", &CMainFrame::OnMainEvent, nullptr, nullptr},
    {kCmdRecentFile, "Recent File", "", "", nullptr, nullptr, nullptr},
    {kCmdAppExit, "E&xit", "", "Quit the application", &CMainFrame::OnAppExit, nullptr, nullptr},
    {kCmdCopyWindow, "Copy &Window", "Ctrl+W",
     "Press mouse button, hold it, and drag to copy window to clipboard", nullptr, nullptr,
     nullptr},
    {kCmdCopyAll, "Copy &All", "Ctrl+C;Ctrl+Ins", "Copy current display to the clipboard", nullptr,
     nullptr, nullptr},
    {kCmdSnapSettings, "&Snap Settings...", "", "Launch Snap Settings Dialog Box", nullptr, nullptr,
     nullptr},
    {kCmdGlass, "G&lass On/Off", "Ctrl+G", "Toggles the display of the plate glass window", nullptr,
     nullptr, nullptr},
    {kCmdTearOff, "- - - - - - - - - - - -", "", "Display the tearoff menu", nullptr, nullptr,
     nullptr},
    {kCmdViewAll, "&All", "Home", "Display drawing to extents", nullptr, nullptr, nullptr},
    {kCmdViewWindow, "&Window", "W", kZoomWindowPrompt, nullptr, nullptr, nullptr},
    {kCmdViewIn, "&In", "+;Shift++", "Click mouse cursor at zoom in center", nullptr, nullptr,
     nullptr},
    {kCmdViewOut, "&Out", "-", "Click mouse cursor at zoom Out center", nullptr, nullptr, nullptr},
    {kCmdViewLast, "&Last", "End", "Show last view", nullptr, nullptr, nullptr},
    {kCmdViewRedraw, "&Redraw", "R", "Redraw the current view displayed", &CMainFrame::OnRedraw,
     &CMainFrame::IdleWithJob, nullptr},
    {kCmdViewPan, "&Pan", "P", "Press mouse button at a mouse point and release at a 2nd point",
     nullptr, nullptr, nullptr},
    {kCmdFillOutline, "Fill/Outline", "O;F", "Toggle the display between fill and outline mode",
     &CMainFrame::OnFillOutline, &CMainFrame::Idle, &CMainFrame::ViewFilled},
    {kCmdVertexPoint, "&Point", "", "Click mouse button at vertex for query", nullptr, nullptr,
     nullptr},
    {kCmdVertexWindow, "&Window", "V",
     "Press mouse button at measure query corner and release it at a 2nd corner ", nullptr, nullptr,
     nullptr},
    {kCmdFlashPoint, "&Point", "", "", nullptr, nullptr, nullptr},
    {kCmdFlashWindow, "&Window", "Shift+F", "", nullptr, nullptr, nullptr},
    {kCmdMeasure, "&Measure", "M",
     "Press mouse button at measure WINDOW corner and release it at a 2nd corner ", nullptr,
     nullptr, nullptr},
    {kCmdBias, "&Bias...", "", "Launches dialog box displaying center of active layer.", nullptr,
     nullptr, nullptr},
    {kCmdMinMax, "M&in-Max...", "",
     "Launches dialog box displaying minimum and maximum flash sizes.", nullptr, nullptr, nullptr},
    {kCmdCount, "&Count...", "",
     "Launches dialog box displaying number of flashes in the active layer.", nullptr, nullptr,
     nullptr},
    {kCmdReport, "&Report...", "", "Display general information about the current job.", nullptr,
     nullptr, nullptr},
    {kCmdPageSetup, "Pa&ge Setup...", "", "Setup plot size, units, and orientation",
     &CMainFrame::OnPageSetup, &CMainFrame::Idle, nullptr},
    {kCmdPlotSetup, "Plot &Setup...", "", "Setup plotter driver settings", &CMainFrame::OnPlotSetup,
     &CMainFrame::Idle, nullptr},
    {kCmdPlotScreen, "&Plot Screen", "", "Plot the current screen", &CMainFrame::OnPlotScreen,
     &CMainFrame::IdleWithJob, nullptr},
    {kCmdPlotWindow, "Plot &Window", "",
     "Press mouse button at plot WINDOW corner and release it at a 2nd corner ",
     &CMainFrame::OnPlotWindow, &CMainFrame::PlotWindowModeAvailable, nullptr},
    {kCmdPlotWindowCoords, "Plot Window &Coords...", "", "Enter window coordinates of area to plot",
     &CMainFrame::OnPlotWindowCoords, &CMainFrame::IdleWithJob, nullptr},
    {kCmdHelpIndex, "&Index", "F1", "List Help topics", &CMainFrame::OnHelpIndex, nullptr,
     nullptr},
    {kCmdHelpInstallation, "&Installation", "", "Help on installation",
     &CMainFrame::OnHelpInstallation, nullptr, nullptr},
    {kCmdHelpUsing, "&Using Help", "", "Display instructions about how to use help",
     &CMainFrame::OnHelpUsing, nullptr, nullptr},
    {kCmdAppAbout, "About Vexil...", "",
     "Display program information, version number and copyright", &CMainFrame::OnAppAbout, nullptr,
     nullptr},
    {kCmdFramesDisplay, "F&rames Display", "", "Toggles mode of WF2 frames display.",
     &CMainFrame::OnFramesDisplay, &CMainFrame::IdleWithJob, nullptr},
    {kCmdFramesAtStartup, "Frames at S&tartup", "",
     "Saves the frame on off display setting for startup", &CMainFrame::OnFramesAtStartup, nullptr,
     &CMainFrame::FramesAtStartup},
    {kCmdRamUse, "&Ram Use...", "", "Define maximum ram to use for database", nullptr, nullptr,
     nullptr},
    // Without a menu item: the context help key; the next click chooses what to explain.
    {kCmdContextHelp, "Context Help", "Shift+F1",
     "Display help for clicked on buttons, menus and windows", &CMainFrame::OnContextHelp,
     nullptr, nullptr},
    // Without a menu item: the keys of the edit tools' Delete and Undo.
    {kCmdEditClear, "Clear", "Del", "Erase the selection", &CMainFrame::OnEditClear,
     &CMainFrame::EditToolsIdle, nullptr},
    {kCmdEditUndo, "Undo", "U;Ctrl+Z", "Undo the last action", &CMainFrame::OnEditUndo,
     &CMainFrame::EditToolsIdle, nullptr},
};

// The Capture and Recall commands: ten of each, by number (kCaptureSlots of the drawing
// window).

// The recent jobs of the File menu, kept in their own section of the settings file.
constexpr size_t kRecentFileCount = 4;
constexpr const char* kRecentFileStore = "Vexil/Recent File List";

// Where each command stands in the menus; id 0 is a separator, kSubmenu opens the named
// popup at that place. The edit tools put their Tools menu between Info and Plot. The frames
// display commands and Ram Use have no key or button: their Settings items are the way to
// them.
constexpr int kSubmenu = -1;
struct MenuSlot {
  const char* menu;
  int id;
  const char* submenu = nullptr;
};

const MenuSlot kMenuLayout[] = {
    {"&File", kCmdFileNew},
    {"&File", kCmdFileOpen},
    {"&File", kCmdFileClose},
    {"&File", kCmdLayerTable},
    {"&File", kCmdSave},
    {"&File", 0},
    {"&File", kSubmenu, "&Preferences"},
    {"&File/&Preferences", kCmdViewToolbar},
    {"&File/&Preferences", kCmdViewStatusBar},
    {"&File/&Preferences", kCmdBackgroundColor},
    {"&File/&Preferences", kCmdTemporaryDirectory},
    {"&File/&Preferences", kCmdFillOnOff},
    {"&File/&Preferences", kCmdGlassSetup},
    {"&File", 0},
    {"&File", kCmdRecentFile},
    {"&File", 0},
    {"&File", kCmdAppExit},
    {"&Edit", kCmdCopyWindow},
    {"&Edit", kCmdCopyAll},
    {"&Settings", kCmdSnapSettings},
    {"&Settings", kCmdGlassSetup},
    {"&Settings", 0},
    {"&Settings", kCmdGlass},
    {"&Settings", kCmdFillOnOff},
    {"&Settings", 0},
    {"&Settings", kCmdFramesDisplay},
    {"&Settings", kCmdFramesAtStartup},
    {"&Settings", kCmdRamUse},
    {"&View", kCmdTearOff},
    {"&View", kCmdViewAll},
    {"&View", kCmdViewWindow},
    {"&View", kCmdViewIn},
    {"&View", kCmdViewOut},
    {"&View", kCmdViewLast},
    {"&View", kCmdViewRedraw},
    {"&View", kCmdViewPan},
    {"&View", 0},
    {"&View", kCmdFillOutline},
    {"&View", kSubmenu, "&Capture"},
    {"&View", kSubmenu, "R&ecall"},
    {"&Info", kSubmenu, "&Vertex"},
    {"&Info/&Vertex", kCmdVertexPoint},
    {"&Info/&Vertex", kCmdVertexWindow},
    {"&Info", kSubmenu, "&Flash"},
    {"&Info/&Flash", kCmdFlashPoint},
    {"&Info/&Flash", kCmdFlashWindow},
    {"&Info", kCmdMeasure},
    {"&Info", kCmdBias},
    {"&Info", kCmdMinMax},
    {"&Info", kCmdCount},
    {"&Info", kCmdReport},
    {"&Plot", kCmdPageSetup},
    {"&Plot", kCmdPlotSetup},
    {"&Plot", kCmdPlotScreen},
    {"&Plot", kCmdPlotWindow},
    {"&Plot", kCmdPlotWindowCoords},
    {"&Help", kCmdHelpIndex},
    {"&Help", kCmdHelpInstallation},
    {"&Help", kCmdHelpUsing},
    {"&Help", 0},
    {"&Help", 0},
    {"&Help", kCmdAppAbout},
};

// The drawing window's right-button menu.
const MenuSlot kContextLayout[] = {
    {"", kCmdViewAll},
    {"", kCmdViewWindow},
    {"", kCmdViewIn},
    {"", kCmdViewOut},
    {"", kCmdViewLast},
    {"", kCmdViewRedraw},
    {"", kCmdViewPan},
    {"", 0},
    {"", kSubmenu, "&Vertex"},
    {"/&Vertex", kCmdVertexPoint},
    {"/&Vertex", kCmdVertexWindow},
    {"", kSubmenu, "&Flash"},
    {"/&Flash", kCmdFlashPoint},
    {"/&Flash", kCmdFlashWindow},
    {"", kCmdMeasure},
};

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

const FrameCommand* FindFrameCommand(int id) {
  for (const FrameCommand& command : kFrameCommands) {
    if (command.id == id) return &command;
  }
  return nullptr;
}

// The label text of an action: its text without the mnemonic marks.
QString PlainText(const QString& text) {
  QString plain = text;
  plain.remove(QLatin1Char('&'));
  return plain.trimmed();
}

template <size_t N>
void BuildMenuTree(const MenuSlot (&layout)[N], QMenu* root_menu, QMenuBar* bar,
                   const std::map<int, QAction*>& actions) {
  std::map<std::string, QMenu*> menus;
  if (root_menu != nullptr) menus[""] = root_menu;
  auto menu_of = [&](const std::string& path) -> QMenu* {
    auto found = menus.find(path);
    if (found != menus.end()) return found->second;
    QMenu* menu = bar->addMenu(Text(path));
    menu->setAccessibleName(PlainText(Text(path)));
    return menus[path] = menu;
  };
  for (const MenuSlot& slot : layout) {
    QMenu* menu = menu_of(slot.menu);
    if (slot.id == 0) {
      menu->addSeparator();
    } else if (slot.id == kSubmenu) {
      QMenu* sub = menu->addMenu(Text(slot.submenu));
      sub->setAccessibleName(PlainText(Text(slot.submenu)));
      menus[std::string(slot.menu) + "/" + slot.submenu] = sub;
    } else if (auto action = actions.find(slot.id); action != actions.end()) {
      menu->addAction(action->second);
    }
  }
}

// The mode pane's text and the cursor resource of each drawing-window mode and edit tool;
// a mode without a cursor of its own leaves the cursor as it is.
constexpr int kCursorUnchanged = 0;
constexpr int kCursorArrow = -1;
struct ModeLook {
  int id;
  const char* text;
  int cursor;
};
constexpr ModeLook kModeLooks[] = {{kDrawZoomWindow, "ZOOM WINDOW", 170},
                                   {kDrawZoomIn, "ZOOM IN", 174},
                                   {kDrawZoomOut, "ZOOM OUT", 175},
                                   {kDrawPan, "PAN", 171},
                                   {kDrawMeasure, "MEASURE", 173},
                                   {kDrawPointQuery, "VERTEX QUERY", 172},
                                   {kDrawWindowQuery, "WINDOW QUERY", 172},
                                   {kDrawCopyWindow, "COPY WINDOW", kCursorUnchanged},
                                   {kDrawPlotWindow, "PLOT WINDOW", kCursorUnchanged}};
constexpr ModeLook kToolLooks[] = {{32898, "RECT. (2 Pt) DRAW", 165}, {32899, "TEXT DRAW", 167},
                                   {32900, "LINE DRAW", 165},         {32901, "TRIANGLE DRAW", 165},
                                   {32902, "RECT. (3 Pt) DRAW", 165}, {32903, "DELETE", 168}};

template <size_t N>
ModeLook LookOf(const ModeLook (&looks)[N], int id, int other_cursor) {
  for (const ModeLook& look : looks) {
    if (look.id == id) return look;
  }
  return {id, "NONE", other_cursor};
}

// A magnifying glass with a plus or a minus, its hot spot in the middle of the lens.
QCursor MagnifierCursor(bool plus) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  for (const auto& [colour, width] : {std::pair{QColor(Qt::white), 4}, {QColor(Qt::black), 2}}) {
    painter.setPen(QPen(colour, width));
    painter.drawEllipse(QPoint(12, 12), 8, 8);
    painter.drawLine(18, 18, 28, 28);
    painter.drawLine(8, 12, 16, 12);
    if (plus) painter.drawLine(12, 8, 12, 16);
  }
  painter.end();
  return QCursor(pixmap, 12, 12);
}

// The drawing window's cursors by resource id.
QCursor CursorOfResource(int id) {
  switch (id) {
    case 165:  // drawing tools
      return QCursor(Qt::CrossCursor);
    case 167:  // text
      return QCursor(Qt::IBeamCursor);
    case 168:  // delete: picking elements
      return QCursor(Qt::PointingHandCursor);
    case 170:  // zoom window
    case 173:  // measure
      return QCursor(Qt::CrossCursor);
    case 171:  // pan
      return QCursor(Qt::SizeAllCursor);
    case 172:  // queries
      return QCursor(Qt::WhatsThisCursor);
    case 174:
      return MagnifierCursor(true);
    case 175:
      return MagnifierCursor(false);
    default:
      return QCursor(Qt::ArrowCursor);
  }
}

bool colour_swatches_enabled = false;

// True while the keyboard goes to a field the user types into.
bool TextFieldHasFocus() {
  QWidget* focus = QApplication::focusWidget();
  if (focus == nullptr) return false;
  if (auto* edit = qobject_cast<QLineEdit*>(focus)) return !edit->isReadOnly();
  if (auto* edit = qobject_cast<QTextEdit*>(focus)) return !edit->isReadOnly();
  if (auto* edit = qobject_cast<QPlainTextEdit*>(focus)) return !edit->isReadOnly();
  return qobject_cast<QAbstractSpinBox*>(focus) != nullptr;
}

// A command's action: a shortcut of one key without Ctrl or Alt never fires while the user
// types into a text field (the key is the field's).
class CommandQAction : public QAction {
 public:
  using QAction::QAction;

 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::Shortcut && TextFieldHasFocus()) {
      const QKeySequence key = static_cast<QShortcutEvent*>(event)->key();
      const Qt::KeyboardModifiers mods =
          key.count() > 0 ? key[0].keyboardModifiers() : Qt::NoModifier;
      if (!(mods & (Qt::ControlModifier | Qt::AltModifier))) return true;
    }
    return QAction::event(event);
  }
};

QColor ColourOf(uint32_t colour) {
  return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

}  // namespace

void SetColourSwatchesEnabled(bool enabled) { colour_swatches_enabled = enabled; }

void PaintColourSwatch(QPainter& painter, const QRect& rect, uint32_t colour) {
  if (!colour_swatches_enabled) return;
  painter.fillRect(rect, ColourOf(colour));
  painter.setPen(Qt::black);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(rect.adjusted(0, 0, -1, -1));
}

int NearestPickColourOfControl(QWidget* control, uint32_t* colour) {
  const int nearest = NearestPickColor(*colour);
  const int chosen = PickColor(control != nullptr ? control->window() : nullptr, nearest);
  if (chosen < 0 || chosen >= kPickColorCount) return 0;
  const uint32_t picked = PickColors()[chosen];
  if (picked == *colour) return 0;
  *colour = picked;
  return 1;
}

CMainFrame::CMainFrame(CLumraApp* app, CLumraView* view) : app_(app), view_(view) {
  setObjectName("vexil");
  setAccessibleName(kVexilAppName);
  ReadSettings();
  InitPickColors();
  PickColors()[kPickBackgroundIndex] = AppState().background_colour;
  SetColourSwatchesEnabled(true);
  LoadStartupFont();
  // The drawing window with its vertical bar on the right and its horizontal bar below.
  auto* drawing_area = new QWidget(this);
  drawing_area->setObjectName("drawingArea");
  auto* grid = new QGridLayout(drawing_area);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(0);
  grid->addWidget(view_, 0, 0);
  grid->addWidget(view_->scroll_bar(true), 0, 1);
  grid->addWidget(view_->scroll_bar(false), 1, 0);
  setCentralWidget(drawing_area);
  BuildCommands();
  BuildMenus();
  BuildToolbar();
  BuildStatusBar();
  view_->SetBackgroundColour(AppState().background_colour);
  resize(900, 650);
  const ViewerSettings& settings = AppState().settings;
  toolbar_->setVisible(settings.toolbar != 0);
  statusBar()->setVisible(settings.statusbar != 0);
  CAppProfile profile;
  if (profile.Open(kVexilAppName)) RestoreWindowPlacement(profile, this, false);
  connect(view_, &CLumraView::drawingStarted, this,
          [this] { statusBar()->showMessage("Generating Drawing..."); });
  connect(view_, &CLumraView::drawingEnded, this, [this](bool) { ShowIdleMessage(); });
  CDrawInteraction* interaction = &view_->interaction();
  draw_window_ = DrawWindowCommands(interaction);
  end_query_mode_ = [interaction] { interaction->modes().EndQueryMode(); };
  connect(interaction, &CDrawInteraction::statusText, this,
          [this](const QString& text) { statusBar()->showMessage(text); });
  connect(interaction, &CDrawInteraction::cursorMoved, this,
          [this](const QString& x, const QString& y) {
            x_pane_->setText(x);
            y_pane_->setText(y);
            UpdateModePane();
          });
  connect(interaction, &CDrawInteraction::modeChanged, this, [this, interaction] {
    // The menu item of the zoom or pan mode under way carries a mark.
    const int32_t mode = interaction->modes().active_mode();
    for (const auto& [command, draw_mode] : {std::pair{kCmdViewWindow, kDrawZoomWindow},
                                             {kCmdViewIn, kDrawZoomIn},
                                             {kCmdViewOut, kDrawZoomOut},
                                             {kCmdViewPan, kDrawPan}}) {
      actions_[command]->setCheckable(true);
      actions_[command]->setChecked(mode == draw_mode);
    }
    ShowIdleMessage();
    UpdateCommandStates();
  });
  UpdateCommandStates();
  ShowIdleMessage();
  NameQtControls();
}

void CMainFrame::NameQtControls() {
  // Qt's own overflow buttons of the menu bar and the toolbar, and their menus.
  for (QWidget* widget : findChildren<QWidget*>()) {
    if (!widget->accessibleName().isEmpty()) continue;
    if (widget->objectName() == "qt_menubar_ext_button") widget->setAccessibleName("More menus");
    if (widget->objectName() == "qt_toolbar_ext_button") widget->setAccessibleName("More tools");
    if (auto* menu = qobject_cast<QMenu*>(widget); menu != nullptr && menu->title().isEmpty()) {
      menu->setAccessibleName("More");
    }
  }
}

void CMainFrame::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  NameQtControls();
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::ReadSettings() {
  ViewerAppState& state = AppState();
  const std::string current = QDir::currentPath().toStdString();
  CAppProfile profile;
  settings_open_ = profile.Open(kVexilAppName);
  ViewerSettings& settings = state.settings;
  ReadViewerSettings(profile, current, &settings);
  CAppProfile recent;
  if (recent.Open(kRecentFileStore)) {
    for (size_t i = 0; i < kRecentFileCount; ++i) {
      std::string path;
      const std::string key = "File" + std::to_string(i + 1);
      if (recent.GetString(key.c_str(), &path, 4096) && !path.empty()) {
        recent_files_.push_back(path);
      }
    }
  }
  // The stored mode is the first view's: outline, fill, or fill with swept edges (a value
  // beyond these fills).
  state.fill_mode = settings.fill_on >= 0 && settings.fill_on <= 2 ? settings.fill_on : 1;
  state.current_job_path = settings.last_job_file_name;
  // A stored grid is drawn from the first job on.
  ApplyGridSettings();
  if (!settings_open_) {
    // Without a store the temporaries go to the current directory.
    state.background_colour = 0;
    state.temporary_directory.clear();
    settings.ram_use = state.ram_use_limit;
    return;
  }
  state.background_colour = settings.background;
  state.temporary_directory = settings.tmp_dir;
  // A stored limit replaces the one of the command line at start-up.
  if (settings.ram_use_stored) {
    state.ram_use_limit = settings.ram_use;
  } else {
    settings.ram_use = state.ram_use_limit;
  }
  if (settings.tmp_dir_defaulted) profile.WriteString("TmpDir", settings.tmp_dir.c_str());
}

int CMainFrame::LoadStartupFont() {
  ShxFont& font = ViewerTextFont();
  FreeShxFont(font);
  int64_t error_position = 0;
  const std::string path = MakePath(AppState().program_directory, "Mirelt.shx");
  if (LoadShxFont(path, font, error_position) == kShxLoaded) return 0;
  FreeShxFont(font);
  font = ShxFont();
  // The viewer runs on without text.
  ShowMessage("Cannot load font.", "", MessageIcon::kWarning);
  return 1;
}

void CMainFrame::BuildCommands() {
  auto add = [this](int id, const QString& text, const QString& shortcuts, const QString& prompt,
                    bool checkable) {
    auto* action = new CommandQAction(text, this);
    action->setData(id);
    action->setObjectName(QStringLiteral("command%1").arg(id));
    if (!prompt.isEmpty()) action->setStatusTip(prompt);
    QList<QKeySequence> keys;
    for (const QString& key : shortcuts.split(';', Qt::SkipEmptyParts)) keys << QKeySequence(key);
    action->setShortcuts(keys);
    action->setCheckable(checkable);
    // Every command keeps its shortcut also when it has no menu item.
    addAction(action);
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    actions_[id] = action;
  };
  for (const FrameCommand& command : kFrameCommands) {
    add(command.id, Text(command.text), Text(command.shortcuts), Text(command.prompt),
        command.checked != nullptr);
  }
  for (int slot = 0; slot < kCaptureSlots; ++slot) {
    add(kCmdCaptureFirst + slot, QString::number(slot), QStringLiteral("Ctrl+%1").arg(slot), {},
        false);
    add(kCmdRecallFirst + slot, QString::number(slot), QStringLiteral("Alt+%1").arg(slot), {},
        false);
  }
}

void CMainFrame::BuildMenus() {
  BuildMenuTree(kMenuLayout, nullptr, menuBar(), actions_);
  for (QMenu* menu : menuBar()->findChildren<QMenu*>()) {
    if (menu->title() == "&Capture" || menu->title() == "R&ecall") {
      const int first = menu->title() == "&Capture" ? kCmdCaptureFirst : kCmdRecallFirst;
      for (int slot = 0; slot < kCaptureSlots; ++slot) menu->addAction(actions_[first + slot]);
    }
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
  }
  // The recent jobs take the place of the "Recent File" item while there are any.
  QAction* placeholder = actions_[kCmdRecentFile];
  for (QMenu* menu : menuBar()->findChildren<QMenu*>()) {
    if (!menu->actions().contains(placeholder)) continue;
    for (size_t i = 0; i < kRecentFileCount; ++i) {
      auto* action = new QAction(this);
      action->setObjectName(QStringLiteral("recent%1").arg(i + 1));
      action->setStatusTip("Open this document");
      menu->insertAction(placeholder, action);
      connect(action, &QAction::triggered, this, [this, i] { OpenRecentFile(i); });
      recent_actions_.push_back(action);
    }
  }
  UpdateRecentFiles();
  setAcceptDrops(true);
  context_menu_ = new QMenu("context_menu", this);
  context_menu_->setAccessibleName("Drawing commands");
  BuildMenuTree(kContextLayout, context_menu_, menuBar(), actions_);
  connect(context_menu_, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
  view_->SetContextMenu(context_menu_);
}

void CMainFrame::BuildToolbar() {
  toolbar_ = addToolBar("Toolbar");
  toolbar_->setObjectName("toolbar");
  toolbar_->setAccessibleName("Toolbar");
  toolbar_->setMovable(false);
  toolbar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  layer_check_ = new QCheckBox("Off", toolbar_);
  layer_check_->setObjectName(ControlObjectName(kLayerCheckBox));
  layer_check_->setAccessibleName("Layer shown");
  layer_check_->setMinimumWidth(40);
  toolbar_->addWidget(layer_check_);
  toolbar_->addSeparator();
  layer_list_ = new QComboBox(toolbar_);
  layer_list_->setObjectName(ControlObjectName(kLayerList));
  layer_list_->setAccessibleName("Layer");
  layer_list_->setMinimumWidth(170);
  layer_list_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  toolbar_->addWidget(layer_list_);
  toolbar_->addSeparator();
  toolbar_->addAction(actions_[kCmdFillOutline]);
  toolbar_->addSeparator();
  toolbar_->addAction(actions_[kCmdLayerTable]);
  toolbar_->addAction(actions_[kCmdGlass]);
  toolbar_->addSeparator();
  toolbar_->addAction(actions_[kCmdPlotScreen]);
  toolbar_->addAction(actions_[kCmdPlotWindow]);
  toolbar_->addSeparator();
  toolbar_->addAction(actions_[kCmdCancelDrawing]);
  connect(layer_list_, &QComboBox::activated, this, &CMainFrame::OnLayerSelected);
  connect(layer_check_, &QCheckBox::clicked, this, &CMainFrame::OnLayerCheckClicked);
}

void CMainFrame::BuildStatusBar() {
  auto pane = [this](const char* name, const QString& sizing) {
    auto* label = new QLabel(this);
    label->setAccessibleName(name);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(sizing) + 8);
    statusBar()->addPermanentWidget(label);
    return label;
  };
  statusBar()->setAccessibleName("Status");
  mode_pane_ = pane("Mode", "\"RECT. (3 Pt) DRAW\"");
  units_pane_ = pane("Units", "ENGLISH");
  x_pane_ = pane("X", "0000000.0000");
  y_pane_ = pane("Y", "0000000.0000");
  UpdateUnitsPane();
}

void CMainFrame::UpdateModePane() {
  if (mode_pane_ == nullptr) return;
  const int tool = edit_tools_.tool_active && edit_tools_.tool_active() && edit_tools_.current_tool
                       ? edit_tools_.current_tool()
                       : 0;
  // The mode the user chose, also while its band waits for the second click.
  const int32_t mode = view_->interaction().modes().active_mode();
  const int shows = tool != 0 ? tool : mode;
  if (shows == mode_pane_shows_) return;
  mode_pane_shows_ = shows;
  if (shows == 0) {
    mode_pane_->clear();
    view_->setCursor(Qt::ArrowCursor);
    return;
  }
  const ModeLook look = tool != 0 ? LookOf(kToolLooks, tool, kCursorArrow)
                                  : LookOf(kModeLooks, mode, kCursorUnchanged);
  mode_pane_->setText(look.text);
  if (look.cursor != kCursorUnchanged) view_->setCursor(CursorOfResource(look.cursor));
}

void CMainFrame::UpdateUnitsPane() {
  units_pane_->setText(ImportSettings().metric ? "METRIC" : "ENGLISH");
}

void CMainFrame::ShowIdleMessage() { statusBar()->showMessage(QString::fromUtf8(IdleText())); }

const char* CMainFrame::IdleText() const {
  // While a mode waits for the mouse the status line keeps its instruction.
  const ModePrompt prompt = view_->interaction().modes().prompt();
  return prompt.id != 0 ? prompt.text : kIdleMessage;
}

bool CMainFrame::event(QEvent* event) {
  // Leaving a menu item clears the status line: the idle text or the mode's prompt returns.
  if (event->type() == QEvent::StatusTip && static_cast<QStatusTipEvent*>(event)->tip().isEmpty()) {
    ShowIdleMessage();
    return true;
  }
  return QMainWindow::event(event);
}

QAction* CMainFrame::CommandAction(int id) const {
  const auto found = actions_.find(id);
  return found != actions_.end() ? found->second : nullptr;
}

void CMainFrame::UpdateCommandStates() {
  for (QAction* action : recent_actions_) action->setEnabled(Idle());
  for (const auto& [id, action] : actions_) {
    const FrameCommand* command = FindFrameCommand(id);
    const bool handled = command != nullptr && command->handler != nullptr;
    if (const auto installed = installed_.find(id); !handled && installed != installed_.end()) {
      action->setEnabled(installed->second.enabled ? installed->second.enabled() : Idle());
      continue;
    }
    const bool enabled = handled ? command->enabled == nullptr || (this->*command->enabled)()
                                 : DrawWindowHandles(id) && DrawWindowTakesNow(id);
    action->setEnabled(enabled);
    if (handled && command->checked != nullptr) action->setChecked((this->*command->checked)());
  }
  UpdateUnitsPane();
  UpdateModePane();
}

bool CMainFrame::OnCommand(int id) {
  if (edit_tools_.take_command && edit_tools_.take_command(id)) {
    AfterToolCommand(id);
    UpdateCommandStates();
    return true;
  }
  UpdateCommandStates();
  // Then the drawing window, with Capture and Recall turned into its own commands.
  if (draw_window_.take_command && DrawWindowTakesNow(id)) {
    int draw_id = id;
    int param = 0;
    if (id >= kCmdCaptureFirst && id < kCmdCaptureFirst + kCaptureSlots) {
      draw_id = kDrawCapture;
      param = id - kCmdCaptureFirst;
    } else if (id >= kCmdRecallFirst && id < kCmdRecallFirst + kCaptureSlots) {
      draw_id = kDrawRecall;
      param = id - kCmdRecallFirst;
    }
    bool taken = false;
    {
      CommandScope scope;
      taken = draw_window_.take_command(draw_id, param);
    }
    if (taken) {
      ShowIdleMessage();
      UpdateCommandStates();
      return true;
    }
  }
  const FrameCommand* command = FindFrameCommand(id);
  if (const auto installed = installed_.find(id);
      (command == nullptr || command->handler == nullptr) && installed != installed_.end()) {
    const InstalledCommand& run = installed->second;
    if (run.enabled ? !run.enabled() : !Idle()) return false;
    {
      CommandScope scope;
      run.handler();
    }
    UpdateCommandStates();
    return true;
  }
  if (command == nullptr || command->handler == nullptr) return false;
  if (command->enabled != nullptr && !(this->*command->enabled)()) return false;
  {
    // Handlers pump events (status texts, progress); hand-overs and drawings wait for them.
    CommandScope scope;
    (this->*command->handler)();
  }
  UpdateCommandStates();
  return true;
}

bool CMainFrame::DrawWindowHandles(int id) const {
  return draw_window_.handles && draw_window_.handles(id);
}

bool CMainFrame::DrawWindowTakesNow(int id) const {
  if (Idle()) return true;
  // A mode chosen while the picture is drawn is the user's next step: it is kept, and the
  // drawing goes on (the clicks wait for its end).
  const ViewerAppState& state = AppState();
  return state.drawing_guard && state.busy_depth == 1 && draw_window_.takes_while_drawing &&
         draw_window_.takes_while_drawing(id);
}

void CMainFrame::AfterToolCommand(int id) {
  // A query under way ends: its marker, highlight and info window go, so that the tool
  // works on the picture as it is.
  CDrawInteraction& work = view_->interaction();
  if (work.query().has_hit()) work.EndQuery();
  ViewerSettings& settings = AppState().settings;
  if (id == kToolDelete && !tool_snap_.snap_saved) {
    // Deleting picks whole elements: snapping is off until the tools are reset.
    tool_snap_.snap_saved = true;
    tool_snap_.snap_end_point = settings.snap_end_point;
    tool_snap_.snap_on = settings.snap_on;
    tool_snap_.grid_on = settings.grid_on;
    settings.snap_end_point = 0;
    settings.snap_on = 0;
  }
  const bool drawing_tool = id >= kToolFirstDrawing && id <= kToolLastDrawing;
  if (drawing_tool && settings.snap_end_point != 0 && !tool_snap_.highlight_saved) {
    tool_snap_.highlight_saved = true;
    tool_snap_.highlight = query_highlight_;
    query_highlight_ = false;
  }
  if (id == kToolReset) {
    if (tool_snap_.highlight_saved) query_highlight_ = tool_snap_.highlight;
    // Every value put aside comes back as it was, whatever it was.
    if (tool_snap_.snap_saved) {
      settings.snap_end_point = tool_snap_.snap_end_point;
      settings.snap_on = tool_snap_.snap_on;
      settings.grid_on = tool_snap_.grid_on;
    }
    tool_snap_ = ToolSnapState();
  }
  const ViewLayerEntry& layer = LayerTable()[AppState().current_layer];
  if (drawing_tool && layer.shown == 0) {
    OnCancelDrawing();
    ShowMessage("Current layer, (" + layer.path + "), is off.\r\nTurn it on or use another layer.",
                kVexilAppName, MessageIcon::kWarning);
  } else {
    ShowIdleMessage();
  }
}

void CMainFrame::InstallCommand(int id, std::function<void()> handler,
                                std::function<bool()> enabled) {
  if (!handler) return;
  installed_[id] = {std::move(handler), std::move(enabled)};
  UpdateCommandStates();
}

bool CMainFrame::Idle() const { return AppState().busy_depth == 0; }
bool CMainFrame::IdleWithJob() const { return Idle() && AppState().job_loaded; }
bool CMainFrame::ToolbarShown() const { return !toolbar_->isHidden(); }
bool CMainFrame::StatusBarShown() const { return !statusBar()->isHidden(); }
bool CMainFrame::ViewFilled() const { return AppState().fill_mode != 0; }
bool CMainFrame::DefaultFillOn() const { return AppState().settings.fill_on != 0; }
bool CMainFrame::FramesAtStartup() const { return AppState().settings.frames_at_startup != 0; }

void CMainFrame::OnFileNew() { app_->OnFileNew(); }
void CMainFrame::OnFileOpen() { app_->OnFileOpen(); }
void CMainFrame::OnFileClose() { app_->OnFileClose(); }
void CMainFrame::OnAppExit() { close(); }
void CMainFrame::OnAppAbout() { app_->OnAppAbout(); }
void CMainFrame::OnHelpIndex() {
  if (ContextHelp* help = app_->help()) help->ShowContents();
}
void CMainFrame::OnHelpInstallation() {
  if (ContextHelp* help = app_->help()) help->ShowInstallation();
}
void CMainFrame::OnHelpUsing() {
  if (ContextHelp* help = app_->help()) help->ShowUsingHelp();
}
void CMainFrame::OnContextHelp() {
  if (ContextHelp* help = app_->help()) help->BeginContextMode();
}

void CMainFrame::OnViewToolbar() { toolbar_->setVisible(toolbar_->isHidden()); }
void CMainFrame::OnViewStatusBar() { statusBar()->setVisible(statusBar()->isHidden()); }

void CMainFrame::OnBackgroundColor() {
  ViewerAppState& state = AppState();
  const uint32_t old = state.background_colour;
  if (!DialogsInteractive()) return;
  QColorDialog dialog(QColor(old & 0xFF, (old >> 8) & 0xFF, (old >> 16) & 0xFF), this);
  dialog.setWindowTitle("Background Color");
  if (dialog.exec() != QDialog::Accepted) return;
  const QColor chosen = dialog.selectedColor();
  const uint32_t colour =
      uint32_t(chosen.red()) | (uint32_t(chosen.green()) << 8) | (uint32_t(chosen.blue()) << 16);
  // A colour the picture cannot take leaves the old one; the viewer goes on.
  if (!view_->SetBackgroundColour(colour)) {
    ShowMessage("The background color could not be set; the old color is kept.", kVexilAppName,
                MessageIcon::kWarning);
    view_->SetBackgroundColour(old);
    return;
  }
  state.background_colour = colour;
  state.settings.background = colour;
  PickColors()[kPickBackgroundIndex] = colour;
  CAppProfile profile;
  if (profile.Open(kVexilAppName)) profile.WriteString("VUBKGND", FormatRgbText(colour).c_str());
  MarkFullViewStale(kFullViewEdits);
  if (state.job_loaded) view_->RequestRedraw();
}

void CMainFrame::OnFillOnOff() {
  ViewerSettings& settings = AppState().settings;
  settings.fill_on = settings.fill_on == 0 ? 1 : 0;
}

void CMainFrame::OnFramesDisplay() {
  // Off, border only, every frame line, off again. A grid comes on over the picture as it
  // is; only the step to off needs the whole picture drawn again.
  int32_t& mode = AppDisplay().settings.frames_display;
  mode = (mode + 1) % 3;
  MarkFullViewStale(kFullViewDrawing);
  if (mode == 0 || !PaintOverlays(&view_->MutablePicture())) {
    view_->RequestRedraw();
    return;
  }
  view_->update();
}

void CMainFrame::OnFramesAtStartup() {
  ViewerSettings& settings = AppState().settings;
  settings.frames_at_startup = settings.frames_at_startup == 0 ? 1 : 0;
}

void CMainFrame::OnFillOutline() {
  ViewerAppState& state = AppState();
  state.fill_mode = (state.fill_mode + 1) % 2;
  if (state.job_loaded) view_->RequestRedraw();
}

void CMainFrame::OnCancelDrawing() {
  if (edit_tools_.tool_active && edit_tools_.tool_active()) {
    OnCommand(kToolReset);
  } else {
    // Escape also drops a band waiting for its second click.
    view_->interaction().modes().Escape();
    view_->CancelRedraw();
    view_->update();
  }
}

bool CMainFrame::EditToolsIdle() const { return Idle() && edit_tools_.take_command != nullptr; }
void CMainFrame::OnEditClear() { OnCommand(kToolDelete); }
void CMainFrame::OnEditUndo() { OnCommand(kToolUndo); }
// File Save is the edit tools' Save (32904): the edited layers are saved and read again.
void CMainFrame::OnSave() { OnCommand(32904); }

void CMainFrame::OnMainEvent() {
  statusBar()->showMessage(QString::fromStdString(app_->services().status_text));
  PumpMessages(this);
}

void CMainFrame::OnRedraw() { view_->RequestRedraw(); }

// ---- Plotting ----

bool CMainFrame::PlotWindowModeAvailable() const {
  return IdleWithJob() && DrawWindowHandles(kDrawPlotWindow);
}

PlotDisplay CMainFrame::DefaultPlotDisplay() const {
  if (std::optional<PlotDisplay> shown = ShownPlotDisplay()) return *shown;
  PlotDisplay display;
  display.fill_mode = AppState().fill_mode;
  GdxRect all{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  const auto take = [&all](const GdxRect& box) {
    if (box.min_x > box.max_x || box.min_y > box.max_y) return;
    all = {std::min(all.min_x, box.min_x), std::min(all.min_y, box.min_y),
           std::max(all.max_x, box.max_x), std::max(all.max_y, box.max_y)};
  };
  for (int n = 0; n < kViewLayerCount; ++n) {
    const ViewLayerEntry& entry = LayerTable()[n];
    if (entry.path.empty() || !entry.shown) continue;
    if (GdxLibrary* library = GdxLibraryFromHandle(entry.library)) {
      const GdxStructure* top = GdxFindStructureById(library, library->current_structure_id);
      if (top != nullptr) take(top->extents);
    }
    // A WF2 layer loaded in sections: the boxes of its sections.
    for (int32_t k = 0; k < Wf2FrameIndexSections(entry.frame_block); ++k) {
      if (const auto section = ReadWf2FrameIndexEntry(entry.frame_block, k)) take(section->box);
    }
  }
  if (all.min_x >= all.max_x || all.min_y >= all.max_y) all = {0, 0, 1000, 1000};
  display.view_window = all;
  display.job_extents = all;
  return display;
}

std::unique_ptr<QtPlotHost> CMainFrame::MakePlotHost() {
  auto host = std::make_unique<QtPlotHost>(this);
  host->display = plot_display_ ? plot_display_ : [this] { return DefaultPlotDisplay(); };
  host->save_edited_layers = [this] { return app_->AskSaveEdits(1) ? 0 : 2; };
  host->end_query_mode = end_query_mode_;
  host->show_idle_text = [this] { ShowIdleMessage(); };
  host->temporary_directory = AppState().temporary_directory;
  return host;
}

void CMainFrame::OnPageSetup() {
  std::unique_ptr<QtPlotHost> host = MakePlotHost();
  PageSetup(host.get());
}

void CMainFrame::OnPlotSetup() {
  std::unique_ptr<QtPlotHost> host = MakePlotHost();
  PlotSetup(host.get());
}

void CMainFrame::OnPlotScreen() {
  std::unique_ptr<QtPlotHost> host = MakePlotHost();
  // Nothing may free the layers while the plot data is written and plotted.
  BusyScope busy;
  PlotScreen(host.get());
}

int CMainFrame::PlotWindowRectangle(const GdxRect& rect) {
  if (!StorePlotWindow(rect)) return 0;
  std::unique_ptr<QtPlotHost> host = MakePlotHost();
  BusyScope busy;
  return PlotScreen(host.get());
}

void CMainFrame::OnPlotWindow() { OnCommand(kDrawPlotWindow); }

void CMainFrame::OnPlotWindowCoords() {
  PlotWindowDialog dialog(this);
  dialog.exec();
}

void CMainFrame::UpdateLayerCombo() {
  layer_list_->clear();
  const ViewLayerTable& table = LayerTable();
  for (int n = 0; n < kViewLayerCount; ++n) {
    if (table[n].path.empty()) continue;
    std::string name;
    SplitPath(table[n].path, nullptr, &name);
    char number[16];
    std::snprintf(number, sizeof number, "%4d", n);
    layer_list_->addItem(QStringLiteral("LAYER:") + number + " " + QString::fromStdString(name));
  }
  if (layer_list_->count() == 0) return;
  layer_list_->setCurrentIndex(0);
  AppState().current_layer = LayerOfListText();
  const bool shown = table[AppState().current_layer].shown != 0;
  layer_check_->setChecked(shown);
  layer_check_->setText(shown ? "On" : "Off");
}

void CMainFrame::ClearLayerCombo() {
  layer_list_->clear();
  layer_check_->setChecked(false);
  layer_check_->setText("Off");
}

int CMainFrame::LayerOfListText() const {
  // "LAYER:%4d name": the number stands in the first ten characters, from the seventh.
  const std::string text = layer_list_->currentText().left(10).toStdString();
  if (text.size() <= 6) return 0;
  try {
    const int layer = std::stoi(text.substr(6));
    return layer >= 0 && layer < kViewLayerCount ? layer : 0;
  } catch (...) {
    return 0;
  }
}

void CMainFrame::OnLayerSelected(int) {
  const int layer = LayerOfListText();
  AppState().current_layer = layer;
  const bool shown = LayerTable()[layer].shown != 0;
  layer_check_->setChecked(shown);
  layer_check_->setText(shown ? "On" : "Off");
}

void CMainFrame::OnLayerCheckClicked(bool checked) {
  if (layer_list_->count() == 0 || !Idle()) {
    // The click is refused (no layer, or a drawing under way): the box goes back to the
    // layer's state.
    const bool shown = layer_list_->count() != 0 && LayerTable()[LayerOfListText()].shown != 0;
    layer_check_->setChecked(shown);
    layer_check_->setText(shown ? "On" : "Off");
    return;
  }
  LayerTable()[LayerOfListText()].shown = checked ? 1 : 0;
  layer_check_->setText(checked ? "On" : "Off");
  MarkFullViewStale(kFullViewLayers);
  if (AppState().job_loaded) view_->RequestRedraw();
}

void CMainFrame::UpdateRecentFiles() {
  actions_[kCmdRecentFile]->setVisible(recent_files_.empty());
  for (size_t i = 0; i < recent_actions_.size(); ++i) {
    QAction* action = recent_actions_[i];
    action->setVisible(i < recent_files_.size());
    if (i >= recent_files_.size()) continue;
    std::string name;
    SplitPath(recent_files_[i], nullptr, &name);
    action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(QString::fromStdString(name)));
    action->setEnabled(Idle());
  }
}

void CMainFrame::AddRecentFile(const std::string& path) {
  std::erase(recent_files_, path);
  recent_files_.insert(recent_files_.begin(), path);
  if (recent_files_.size() > kRecentFileCount) recent_files_.resize(kRecentFileCount);
  UpdateRecentFiles();
}

void CMainFrame::OpenRecentFile(size_t index) {
  if (index >= recent_files_.size() || !Idle()) return;
  const std::string path = recent_files_[index];
  if (!FileExists(path) || DirExists(path)) {
    ShowMessage("The job file " + path + " does not exist; it is taken off the list.",
                kVexilAppName, MessageIcon::kWarning);
    std::erase(recent_files_, path);
    UpdateRecentFiles();
    return;
  }
  {
    CommandScope scope;
    app_->OpenDocumentFile(path);
  }
  UpdateCommandStates();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() && Idle()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
  // A dropped file opens as a file named on the command line would: a job, or a data file
  // made into a job.
  for (const QUrl& url : event->mimeData()->urls()) {
    if (!url.isLocalFile()) continue;
    HandOverRequest request;
    request.directory = QDir::currentPath().toStdString();
    request.args = {"vexil", url.toLocalFile().toStdString()};
    app_->QueueHandOver(request);
    event->acceptProposedAction();
    return;
  }
}

int CMainFrame::SaveSettings() {
  ViewerAppState& state = AppState();
  ViewerSettings& settings = state.settings;
  settings.toolbar = ToolbarShown() ? 1 : 0;
  settings.statusbar = StatusBarShown() ? 1 : 0;
  settings.ram_use = state.ram_use_limit;
  settings.tmp_dir = state.temporary_directory;
  settings.last_job_file_name = state.current_job_path;
  CAppProfile profile;
  if (!profile.Open(kVexilAppName)) return 0;
  const int before = WriteViewerSettingsBeforePlacement(profile, settings);
  const int placement = SaveWindowPlacement(profile, *this);
  const int after = WriteViewerSettingsAfterPlacement(profile, settings);
  CAppProfile recent_store;
  int recent = 1;
  if (recent_store.Open(kRecentFileStore)) {
    CAppProfile::Batch batch(recent_store);
    for (size_t i = 0; i < kRecentFileCount; ++i) {
      const std::string key = "File" + std::to_string(i + 1);
      batch.WriteString(key.c_str(), i < recent_files_.size() ? recent_files_[i].c_str() : nullptr);
    }
    recent = batch.Commit();
  }
  return before && placement && after && recent ? 1 : 0;
}

void CMainFrame::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // A drawing skipped while the window was minimised runs when it comes back.
  const ViewerAppState& state = AppState();
  if (event->type() == QEvent::WindowStateChange && !isMinimized() && state.job_loaded &&
      !state.picture_valid) {
    view_->RequestRedraw();
  }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  // A load or a drawing under way is stopped first; the close comes back when it ends.
  if (AppState().busy_depth > 0) {
    event->ignore();
    view_->CancelRedraw();
    app_->CancelLoad();
    QTimer::singleShot(50, this, &QWidget::close);
    return;
  }
  if (!app_->AskSaveEdits(0)) {
    event->ignore();
    return;
  }
  if (SaveSettings() == 0 && settings_open_) {
    std::fprintf(stderr, "vexil: the settings could not be written\n");
  }
  app_->CleanupTemporaries(true);
  event->accept();
}

}  // namespace kavrinth
