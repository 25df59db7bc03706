// The programs' help on Qt: a window of our own that shows the README, rendered from its
// Markdown, at the section of a help context; F1 (help on the window in use, or on the menu
// item under the cursor) and Shift+F1 (context help: the next click on a command, button
// or window opens the section on it).
#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "support/help_topics.h"

class QAction;
class QTextBrowser;

namespace kavrinth {

// A read-only view of the README. The section shown is the one whose heading stands at
// the top of the view.
class HelpWindow : public QDialog {
  Q_OBJECT

 public:
  explicit HelpWindow(QWidget* parent = nullptr);

  // Reads the Markdown file when it is not the one shown already: false when it cannot be
  // read.
  bool Load(const std::string& path);
  // Scrolls the section's heading to the top of the view: the section of the path, else
  // the nearest outer section that exists, else the top of the text. Returns the path of
  // the section shown.
  QString ShowSection(std::string_view path);
  // The path of the section at the top of the view ("Vexil/Plotting").
  QString VisibleSection() const;

  QTextBrowser* browser() const { return browser_; }
  const std::string& loaded_path() const { return loaded_path_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The headings of the rendered text, in the order of their blocks.
  std::vector<MarkdownHeading> Headings(std::vector<int>* block_numbers) const;
  void ScrollToTarget();
  void UpdateBottomMargin();

  QTextBrowser* browser_;
  std::string loaded_path_;
  int target_block_ = -1;  // the heading kept at the top until the user scrolls
  bool scrolling_ = false;
};

// How a program's help is set up.
struct HelpSetup {
  std::string program_name;  // for the window's title and the messages ("Vexil")
  // Where the README is looked for (FindReadme).
  std::function<std::string()> program_directory;
  HelpTable table;
  // Contexts of the program's windows: a window, or any window within it, of one of
  // these classes has the context (the first row that matches wins).
  struct WindowContext {
    const QMetaObject* window_class;
    uint32_t context;
  };
  std::vector<WindowContext> windows;
  // The context of the main window and of whatever has no context of its own.
  uint32_t main_window_context = DialogHelpContext(128);
  // The command of a menu or toolbar action, 0 for none (default: its data()).
  std::function<int(const QAction*)> command_of_action;
};

// A program's help: opens the help window at a context's section, follows F1 and Shift+F1
// in all the program's windows, and runs the context help mode. One per main window, which
// owns it.
class ContextHelp : public QObject {
  Q_OBJECT

 public:
  ContextHelp(HelpSetup setup, QWidget* main_window);
  ~ContextHelp() override;

  // Opens the section of the context (ShowSection of HelpSectionOf).
  void ShowContext(uint32_t context);
  // Opens a section of the README: in the help window when dialogs are shown, else as a
  // message that names the README and the section; without a README, says that help is
  // not installed.
  void ShowSection(std::string_view section);
  // The Help menu's items.
  void ShowContents() { ShowSection(setup_.table.contents); }
  void ShowUsingHelp() { ShowSection(setup_.table.using_help); }
  void ShowInstallation() { ShowSection(setup_.table.installation); }
  // F1: help on the window in use (the window given, else the modal dialog, else the
  // active window, else the main window).
  void ShowWindowHelp(QWidget* window = nullptr);
  // Shift+F1: the next click on a command, button or window opens the section on it;
  // Escape leaves the mode.
  void BeginContextMode();
  void EndContextMode();
  bool in_context_mode() const { return context_mode_; }

  // The context of a widget: a command button's or tool button's command, the tool bar's
  // or status bar's, else the context of the nearest window class of the table it stands
  // in, else the main window's.
  uint32_t ContextOfWidget(const QWidget* widget) const;
  uint32_t ContextOfAction(const QAction* action) const;

  // The help window, once help was shown (null before).
  HelpWindow* window() const { return window_; }
  const HelpSetup& setup() const { return setup_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Whether the object belongs to this program's windows (another main window's help
  // handles its own).
  bool Owns(const QObject* object) const;
  bool ContextModeEvent(QObject* watched, QEvent* event);
  bool HelpKeyEvent(QObject* watched, QEvent* event);

  HelpSetup setup_;
  QPointer<QWidget> main_window_;
  QPointer<HelpWindow> window_;
  bool context_mode_ = false;
  bool swallow_release_ = false;  // the click that ended the mode still has its release
};

}  // namespace kavrinth
