// Saving and restoring window placements through CAppProfile.
#include "support/qt/window_placement.h"

#include <array>
#include <optional>
#include <string>

namespace kavrinth {
namespace {

// The value names' suffixes, in the order they are read and written.
constexpr std::array<std::string_view, 5> kSuffixes = {"TopX", "TopY", "BotX", "BotY", "showCmd"};

std::array<int32_t*, 5> Fields(WindowPlacement* placement) {
  return {&placement->left, &placement->top, &placement->right, &placement->bottom,
          &placement->show_command};
}

std::string ValueName(std::string_view prefix, std::string_view suffix) {
  return std::string(prefix) + std::string(suffix);
}

}  // namespace

bool WindowPlacement::HasRectangle() const {
  return left != kPlacementUnset && top != kPlacementUnset && right != kPlacementUnset &&
         bottom != kPlacementUnset;
}

int ReadPlacementSection(const CAppProfile& profile, std::string_view prefix,
                         WindowPlacement* placement) {
  const std::array<int32_t*, 5> fields = Fields(placement);
  for (size_t i = 0; i < kSuffixes.size(); ++i) {
    if (!profile.GetInt(ValueName(prefix, kSuffixes[i]).c_str(), fields[i])) return 0;
  }
  return 1;
}

int ReadWindowPlacement(const CAppProfile& profile, WindowPlacement* placement) {
  return ReadPlacementSection(profile, kMainWindowPrefix, placement);
}

WindowPlacement PlacementOf(const QWidget& window) {
  const bool maximized = window.isMaximized();
  QRect normal = window.normalGeometry();
  if (!maximized || !normal.isValid()) normal = window.geometry();
  WindowPlacement placement;
  placement.left = normal.x();
  placement.top = normal.y();
  placement.right = normal.x() + normal.width();
  placement.bottom = normal.y() + normal.height();
  placement.show_command = maximized ? 1 : 0;
  return placement;
}

int SavePlacementSection(const CAppProfile& profile, std::string_view prefix,
                         const QWidget& window) {
  if (!profile.IsOpen()) return 0;
  WindowPlacement placement = PlacementOf(window);
  const std::array<int32_t*, 5> fields = Fields(&placement);
  CAppProfile::Batch batch(profile);
  for (size_t i = 0; i < kSuffixes.size(); ++i) {
    batch.WriteInt(ValueName(prefix, kSuffixes[i]).c_str(), *fields[i]);
  }
  return batch.Commit();
}

int SaveWindowPlacement(const CAppProfile& profile, const QWidget& window) {
  return SavePlacementSection(profile, kMainWindowPrefix, window);
}

namespace {

// The stored "Window" rectangle: 0 when no placement is stored, 1 with no rectangle when
// it cannot be used, 1 with the rectangle otherwise.
int StoredRectangle(const CAppProfile& profile, std::optional<QRect>* rectangle) {
  rectangle->reset();
  WindowPlacement placement;
  if (!ReadWindowPlacement(profile, &placement)) return 0;
  if (!placement.HasRectangle()) return 1;
  const int64_t width = int64_t{placement.right} - placement.left;
  const int64_t height = int64_t{placement.bottom} - placement.top;
  // A rectangle turned inside out or beyond any screen was not written by us: leave the
  // window as it is rather than give it no size.
  if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX) return 1;
  *rectangle =
      QRect(placement.left, placement.top, static_cast<int>(width), static_cast<int>(height));
  return 1;
}

}  // namespace

int RestoreWindowPlacement(const CAppProfile& profile, QWidget* window, bool keep_size) {
  std::optional<QRect> stored;
  const int result = StoredRectangle(profile, &stored);
  if (!stored) return result;
  if (window->isMaximized() || window->isMinimized()) window->showNormal();
  if (keep_size) {
    window->setGeometry(stored->x(), stored->y(), window->width(), window->height());
  } else {
    window->setGeometry(*stored);
  }
  return 1;
}

int ApplyStoredPlacement(QWindow* window, const CAppProfile& profile) {
  std::optional<QRect> stored;
  const int result = StoredRectangle(profile, &stored);
  if (!stored) return result;
  if (window->windowStates() & (Qt::WindowMaximized | Qt::WindowMinimized)) {
    window->setWindowStates(Qt::WindowNoState);
  }
  window->setGeometry(*stored);
  return 1;
}

}  // namespace kavrinth
