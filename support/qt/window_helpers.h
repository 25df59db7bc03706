// Window helpers every program uses: the message pump for long loops and RunProgram,
// menu marks and states, titles from string resources, an edit box coupled to a scroll
// bar, keeping a window on the screen, and the frame of owner-drawn buttons.
#pragma once

#include <QAction>
#include <QPainter>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <cstdint>

#include "support/run_program.h"

class QLineEdit;
class QScrollBar;

namespace kavrinth {

// Delivers the waiting events at once. Qt cannot tell a window's events from the others'
// before it delivers them, so every waiting event of the thread is processed, the
// window's among them (null: the same). Returns 0.
int PumpMessages(QWidget* window);
// Sends the window's posted events whose type lies in first..last (null window: every
// receiver's), nothing else.
int PumpMessageRange(QWidget* window, int first, int last);
// The pump callback for RunProgram and long loops: PumpMessages of the window.
PumpCallback PumpFor(QWidget* window);

// Menu commands are QActions; the programs' command ids live in their data(). The action
// of a command id among the window's actions (its menus' included), or null.
QAction* FindCommandAction(const QWidget* window, int command_id);
// Flips the tick mark of the command.
void ToggleMenuMark(QAction* action);
void ToggleMenuMark(const QWidget* window, int command_id);
// State 0 enables the command; any other state disables it. (A negative state asked the
// old menus to disable without greying; Qt always shows a disabled action greyed.)
void EnableMenuCmd(QAction* action, int state);
void EnableMenuCmd(const QWidget* window, int command_id, int state);

// A program's string resources: the text of an id, or null when there is none.
using StringResource = const char* (*)(int id);
// The title for a string id and a text: "%s - %s" of the resource (at most 63
// characters) and the text; the resource alone (at most 323) when the text is null; the
// text alone (empty when null) when the id is 0.
std::string TitleFromResource(int string_id, const char* text, StringResource resource);
// Sets the window's title to TitleFromResource (resources: the library's message texts
// unless the program gives its own).
void SetTitleFromResource(QWidget* window, int string_id, const char* text,
                          StringResource resource = nullptr);

// The scroll position of a real value: value * scale rounded half up, plus the offset,
// clamped to minimum..maximum (a value that is not a number gives the minimum).
int32_t ScrollPosFromValue(double value, double scale, int32_t offset, int32_t minimum,
                           int32_t maximum);
// Reads a real from the edit box (its first 15 characters), moves the scroll bar to its
// position (ScrollPosFromValue) and writes the position back into the box as
// (position - offset) / scale with FormatReal at 1e-12, at most 15 characters. Returns
// the position.
int32_t EditToScrollPos(QLineEdit* edit, QScrollBar* scroll_bar, int32_t minimum, int32_t maximum,
                        double scale, int32_t offset);

// The position a window of the given size takes on the screen for the wished x, y: a
// coordinate that would push it past the screen's right or bottom edge is pulled back to
// end there, and a negative one (also after pulling back) becomes the screen's left or
// top.
QPoint FitPointToScreen(QPoint wished, QSize size, QRect screen);
// Moves the window there on its screen (the primary screen when it has none), keeping its
// size and stacking order.
void FitWindowToScreen(QWidget* window, int x, int y);

// What an owner-drawn button is drawn for.
struct OwnerDrawItem {
  QRect rect;
  bool selection_change = false;  // drawn because its selection changed
  bool selected = false;
  bool disabled = false;
};
// Draws the button's frame: a black outer frame (grey when drawn for a selection change
// while disabled), a grey frame one pixel inside, and unless disabled that way a white
// line just outside the inner rectangle: along its bottom and right for a selected
// (pressed) button, along its top and left otherwise. Returns the inner rectangle (two
// pixels in from the item's on every side).
QRect DrawItemFrame(QPainter& painter, const OwnerDrawItem& item);

}  // namespace kavrinth
