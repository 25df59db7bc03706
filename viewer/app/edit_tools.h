// The viewer's edit tools: the Tools menu, the points of the current tool collected with a
// rubber band drawn over the picture, and the edits they make through the edit storage;
// the modeless Add Text and Selection dialogs; saving the edits.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPoint>
#include <QPointer>
#include <QRadioButton>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "viewer/app/main_frame.h"
#include "viewer/edit/edit_store.h"

namespace kavrinth {

class CLumraApp;
class CEditTools;

// The tool commands beside those the frame names.
enum EditCommand : int {
  kToolRectangle2 = 32898,
  kToolText = 32899,
  kToolThreePoint = 32901,
  kToolRectangle3 = 32902,
  kToolDeleteElements = 32903,
  kToolSave = 32904,  // Undo is the frame's kToolUndo (32905)
  kToolRearm = 32906,
  kToolEnd = 32907,
  kCmdMergeLayers = 32885,
};

// The text of the Add Text dialog. Rotation code 0 = +90, 1 = 0, 2 = -90 degrees; mirror
// bit 1 = X, bit 2 = Y; height -1 when none is given.
struct TextEditState {
  std::string text;
  int rotation = 1;
  int mirror = 0;
  double height = -1.0;
  bool height_switched = false;
};

inline constexpr int kMaxTextLength = 8192;
inline constexpr int kMaxHeightLength = 32;

class CAddTextDlg : public QDialog {
  Q_OBJECT

 public:
  CAddTextDlg(CEditTools* tools, QWidget* parent);
  const TextEditState& state() const { return state_; }
  QPlainTextEdit* text_edit() const { return text_; }
  QLineEdit* height_edit() const { return height_; }
  // Parses the Text Height field: a positive leading number is the height, else none.
  // Switching between none and a height re-arms the tool.
  void ParseTextHeight(const QString& text);
  void ResetTextState();
  // Takes the rotation, the mirroring and the text as the dialog shows them now.
  void ReadTextDialogFields();

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  CEditTools* tools_;
  TextEditState state_;
  QPlainTextEdit* text_;
  std::array<QRadioButton*, 3> rotation_{};
  QCheckBox* mirror_x_;
  QCheckBox* mirror_y_;
  QLineEdit* height_;
};

class CSelectionDlg : public QDialog {
  Q_OBJECT

 public:
  CSelectionDlg(CEditTools* tools, QWidget* parent);
  int selection_type() const { return type_; }  // 0 Crossing, 1 Window, 2 Object
  bool exclude() const { return exclude_; }
  QRadioButton* type_button(int type) const { return types_[type]; }
  QRadioButton* include_button() const { return include_; }
  QRadioButton* exclude_button() const { return exclude_button_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  CEditTools* tools_;
  int type_ = 0;
  bool exclude_ = false;
  std::array<QRadioButton*, 3> types_{};
  QRadioButton* include_;
  QRadioButton* exclude_button_;
};

// The rubber band: a widget over the picture that paints the band of the tool in use.
class CRubberBand : public QWidget {
 public:
  CRubberBand(CEditTools* tools, QWidget* view);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  CEditTools* tools_;
};

class CEditTools : public QObject {
  Q_OBJECT

 public:
  // Installs the tools in the application's frame and view.
  explicit CEditTools(CLumraApp* app);
  ~CEditTools() override;

  EditStore& store() { return store_; }
  int current_tool() const { return tool_; }
  int click_count() const { return counter_; }
  CAddTextDlg* text_dialog() const { return text_dialog_; }
  CSelectionDlg* selection_dialog() const { return selection_dialog_; }
  CRubberBand* rubber_band() const { return band_; }
  QMenu* tools_menu() const { return menu_; }

  // A command: true when the tools took it.
  bool OnCommand(int id);
  // Saves the edits after asking (the Save Changes question): 0 when nothing is edited,
  // 2 Cancel, 6 Yes (saved; with reload the job is read again), 7 No (dropped). A save that
  // fails keeps the edits and answers 2.
  int SaveEditedLayers(bool reload);
  // Replaces the Save Changes dialog (for tests and batch use): fills one target per edited
  // layer (given each layer's own file) and answers 2, 6 or 7.
  void SetSaveChangesDialog(std::function<int(std::vector<SaveTarget>*)> dialog) {
    save_dialog_ = std::move(dialog);
  }

  // The band in device points: mode bits 1 box, 2 line, 4 two lines, 8 three-point rectangle.
  int band_mode() const { return band_mode_; }
  const std::array<QPoint, 3>& band_points() const { return device_; }
  QPoint band_end() const { return band_end_; }

  // The Add Text dialog's re-arm, and the end of a tool. After a selection was dropped
  // without deleting (`selection_applied`) only the elements it changed are drawn again.
  void Rearm();
  void EndTool(bool selection_applied = false);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SetCurrentTool(int id);
  void BeginTrack();
  void OnPoint(QPoint device);
  // End-point snap: a left click proposes the vertex it meets (TAB and SPACE step the
  // proposal through the vertices near it), the right button accepts the proposal.
  bool SnapsToVertices() const;
  void ProposeAt(QPoint device);
  void PlaceVertex(int32_t x, int32_t y);
  // Places the grid point of a device point: false when grid snap is off.
  bool PlaceGridPoint(QPoint device);
  // The device point on its grid point when grid snap is on.
  QPoint GridPoint(QPoint device) const;
  void OnCandidate(int32_t x, int32_t y);
  // Takes the proposed point (a right click off the vertices takes its own grid point).
  void AcceptProposal(QPoint device, bool right_button);
  void DropProposal();
  void TakePoint(int index);
  void Complete();
  void AddText(const EditPoint& a, const EditPoint& b);
  EditPoint ToDatabase(QPoint device) const;
  EditPoint WorldToDatabase(int32_t x, int32_t y) const;
  void AfterEdit();
  // A WF2 section the drawing keeps is loaded again when the picks changed its marks.
  void SyncFrameMarks();
  // Redraws only the elements the last pick changed (a full drawing when it cannot).
  void RedrawChanged();
  void Report(const std::string& text);
  void RunMergeLayers();

  CLumraApp* app_;
  EditStore store_;
  QPointer<QMenu> menu_;
  CAddTextDlg* text_dialog_ = nullptr;
  CSelectionDlg* selection_dialog_ = nullptr;
  CRubberBand* band_ = nullptr;
  std::function<int(std::vector<SaveTarget>*)> save_dialog_;
  int tool_ = 0;
  bool ending_ = false;  // EndTool is under way
  int last_index_ = 0;
  int first_mode_ = 0;
  int later_mode_ = 0;
  int counter_ = 0;
  int band_mode_ = 0;
  std::array<QPoint, 3> device_{};
  std::array<EditPoint, 3> points_{};
  QPoint band_end_;
  bool tracking_saved_ = false;
  bool proposed_ = false;       // the newest point is proposed, not yet accepted
  bool grid_proposed_ = false;  // the proposal is a grid point, not a vertex
  uint64_t frame_marks_seen_ = 0;
};

}  // namespace kavrinth
