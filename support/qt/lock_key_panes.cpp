// Lock key panes of the status bar; on X11 the states come from the keyboard's indicators.
#include "support/qt/lock_key_panes.h"

#include <dlfcn.h>

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

namespace kavrinth {

namespace {

struct LockPane {
  const char* text;       // shown while the lock is on
  const char* name;       // accessible name
  const char* indicator;  // the X keyboard extension's indicator name
  int key;
};

constexpr LockPane kLockPanes[] = {
    {"CAP", "Caps Lock", "Caps Lock", Qt::Key_CapsLock},
    {"NUM", "Num Lock", "Num Lock", Qt::Key_NumLock},
    {"SCRL", "Scroll Lock", "Scroll Lock", Qt::Key_ScrollLock},
};

// The Xlib calls are looked up in the library the xcb platform has loaded, so the program
// needs no X headers or link of its own and runs where there is no X at all.
struct XkbCalls {
  using InternAtom = unsigned long (*)(void*, const char*, int);
  using GetNamedIndicator = int (*)(void*, unsigned long, int*, int*, void*, int*);
  InternAtom intern_atom = nullptr;
  GetNamedIndicator get_named_indicator = nullptr;
};

const XkbCalls& Xkb() {
  static const XkbCalls calls = [] {
    XkbCalls found;
    void* library = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (library == nullptr) return found;
    found.intern_atom = reinterpret_cast<XkbCalls::InternAtom>(dlsym(library, "XInternAtom"));
    found.get_named_indicator =
        reinterpret_cast<XkbCalls::GetNamedIndicator>(dlsym(library, "XkbGetNamedIndicator"));
    return found;
  }();
  return calls;
}

void* X11Display() {
#if QT_CONFIG(xcb)
  if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>()) {
    return x11->display();
  }
#endif
  return nullptr;
}

}  // namespace

LockKeyPanes::LockKeyPanes(QStatusBar* bar) : QObject(bar) {
  for (size_t i = 0; i < panes_.size(); ++i) {
    auto* pane = new QLabel(bar);
    pane->setObjectName(QString("Pane") + kLockPanes[i].text);
    pane->setAccessibleName(kLockPanes[i].name);
    pane->setAlignment(Qt::AlignCenter);
    pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance("SCRL") + 12);
    bar->addPermanentWidget(pane);
    panes_[i] = pane;
  }
  lights_known_ = QueryLights();
  if (lights_known_) {
    // A lock changed while another program had the keyboard shows as well.
    poll_ = new QTimer(this);
    connect(poll_, &QTimer::timeout, this, [this] {
      QueryLights();
      Show();
    });
    poll_->start(500);
  }
  qApp->installEventFilter(this);
  Show();
}

bool LockKeyPanes::QueryLights() {
  void* display = X11Display();
  const XkbCalls& xkb = Xkb();
  if (display == nullptr || !xkb.intern_atom || !xkb.get_named_indicator) return false;
  for (size_t i = 0; i < panes_.size(); ++i) {
    const unsigned long atom = xkb.intern_atom(display, kLockPanes[i].indicator, 0);
    int state = 0;
    if (atom == 0 || !xkb.get_named_indicator(display, atom, nullptr, &state, nullptr, nullptr)) {
      return false;
    }
    on_[i] = state != 0;
  }
  return true;
}

// A key event not taken by its widget travels up to the window and passes this filter once
// for each widget on the way; the first pass counts, until the key is released.
bool LockKeyPanes::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyRelease) last_press_ = nullptr;
  if (event->type() == QEvent::KeyPress && watched->isWidgetType() && event != last_press_) {
    last_press_ = event;
    const auto* key = static_cast<QKeyEvent*>(event);
    for (size_t i = 0; i < panes_.size(); ++i) {
      if (key->key() != kLockPanes[i].key || key->isAutoRepeat()) continue;
      if (!(lights_known_ && QueryLights())) on_[i] = !on_[i];
      Show();
    }
  }
  return QObject::eventFilter(watched, event);
}

void LockKeyPanes::Show() {
  for (size_t i = 0; i < panes_.size(); ++i) {
    panes_[i]->setText(on_[i] ? kLockPanes[i].text : "");
  }
}

}  // namespace kavrinth
