// The message pump and the window, menu, scroll and frame helpers.
#include "support/qt/window_helpers.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "support/args.h"
#include "support/messages.h"
#include "support/qt/dialogs.h"

namespace kavrinth {
namespace {

constexpr size_t kTitleResourceLimit = 63;  // the resource part of "%s - %s"
constexpr size_t kLoneResourceLimit = 323;  // the resource alone
constexpr int kEditReadLimit = 15;          // characters read from the edit box
constexpr size_t kEditWriteSize = 16;       // 15 characters written back
constexpr double kEditResolution = 1e-12;

// The colours of the platform's stock brushes and pens that buttons are framed with.
const QColor kStockBlack(0, 0, 0);
const QColor kStockGrey(128, 128, 128);
const QColor kStockWhite(255, 255, 255);

// A frame one pixel wide inside the rectangle.
void FrameRect(QPainter& painter, const QRect& r, const QColor& color) {
  painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), color);
  painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), color);
  painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), color);
  painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), color);
}

std::string Cut(const char* text, size_t limit) {
  std::string cut = text ? text : "";
  if (cut.size() > limit) cut.resize(limit);
  return cut;
}

}  // namespace

int PumpMessages(QWidget*) {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  return 0;
}

int PumpMessageRange(QWidget* window, int first, int last) {
  first = std::max(first, 0);
  last = std::min(last, static_cast<int>(QEvent::MaxUser));
  for (int type = first; type <= last; ++type) QCoreApplication::sendPostedEvents(window, type);
  return 0;
}

PumpCallback PumpFor(QWidget* window) {
  return [window] { PumpMessages(window); };
}

QAction* FindCommandAction(const QWidget* window, int command_id) {
  if (!window) return nullptr;
  QList<QAction*> actions = window->actions() + window->findChildren<QAction*>();
  for (QAction* action : actions) {
    bool is_number = false;
    if (action->data().toInt(&is_number) == command_id && is_number) return action;
  }
  return nullptr;
}

void ToggleMenuMark(QAction* action) {
  if (!action) return;
  action->setCheckable(true);
  action->setChecked(!action->isChecked());
}

void ToggleMenuMark(const QWidget* window, int command_id) {
  ToggleMenuMark(FindCommandAction(window, command_id));
}

void EnableMenuCmd(QAction* action, int state) {
  if (action) action->setEnabled(state == 0);
}

void EnableMenuCmd(const QWidget* window, int command_id, int state) {
  EnableMenuCmd(FindCommandAction(window, command_id), state);
}

std::string TitleFromResource(int string_id, const char* text, StringResource resource) {
  if (string_id == 0) return text ? text : "";
  const char* loaded = resource ? resource(string_id) : nullptr;
  if (!text) return Cut(loaded, kLoneResourceLimit);
  return Cut(loaded, kTitleResourceLimit) + " - " + text;
}

void SetTitleFromResource(QWidget* window, int string_id, const char* text,
                          StringResource resource) {
  SetWindowTextLiteral(window,
                       TitleFromResource(string_id, text, resource ? resource : LoadMessageText));
}

int32_t ScrollPosFromValue(double value, double scale, int32_t offset, int32_t minimum,
                           int32_t maximum) {
  const double position = std::floor(value * scale + 0.5) + offset;
  if (std::isnan(position)) return minimum;
  return static_cast<int32_t>(
      std::clamp(position, static_cast<double>(minimum), static_cast<double>(maximum)));
}

int32_t EditToScrollPos(QLineEdit* edit, QScrollBar* scroll_bar, int32_t minimum, int32_t maximum,
                        double scale, int32_t offset) {
  const std::string text = edit->text().left(kEditReadLimit).toStdString();
  const int32_t position =
      ScrollPosFromValue(std::strtod(text.c_str(), nullptr), scale, offset, minimum, maximum);
  scroll_bar->setValue(position);
  scroll_bar->update();
  const double shown = (static_cast<double>(position) - offset) / scale;
  edit->setText(QString::fromStdString(FormatReal(shown, kEditResolution, kEditWriteSize)));
  return position;
}

QPoint FitPointToScreen(QPoint wished, QSize size, QRect screen) {
  int x = wished.x();
  int y = wished.y();
  if (x + size.width() > screen.x() + screen.width())
    x = screen.x() + screen.width() - size.width();
  if (y + size.height() > screen.y() + screen.height()) {
    y = screen.y() + screen.height() - size.height();
  }
  return QPoint(std::max(x, screen.x()), std::max(y, screen.y()));
}

void FitWindowToScreen(QWidget* window, int x, int y) {
  QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (!screen) {
    window->move(std::max(x, 0), std::max(y, 0));
    return;
  }
  window->move(FitPointToScreen(QPoint(x, y), window->size(), screen->geometry()));
}

QRect DrawItemFrame(QPainter& painter, const OwnerDrawItem& item) {
  const bool greyed = item.selection_change && item.disabled;
  FrameRect(painter, item.rect, greyed ? kStockGrey : kStockBlack);
  FrameRect(painter, item.rect.adjusted(1, 1, -1, -1), kStockGrey);
  const QRect inner = item.rect.adjusted(2, 2, -2, -2);
  if (greyed) return inner;
  if (item.selected) {
    painter.fillRect(QRect(inner.left(), inner.bottom() + 1, inner.width() + 1, 1), kStockWhite);
    painter.fillRect(QRect(inner.right() + 1, inner.top(), 1, inner.height() + 1), kStockWhite);
  } else {
    painter.fillRect(QRect(inner.left() - 1, inner.top() - 1, inner.width() + 1, 1), kStockWhite);
    painter.fillRect(QRect(inner.left() - 1, inner.top() - 1, 1, inner.height() + 1), kStockWhite);
  }
  return inner;
}

}  // namespace kavrinth
