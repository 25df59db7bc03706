// The process's viewer services and the wait status of job reading and writing.
#include "viewer/model/viewer_services.h"

#include <cmath>

namespace kavrinth {
namespace {

HeadlessViewerServices& Headless() {
  static HeadlessViewerServices services;
  return services;
}

ViewerServices* current_services = nullptr;

}  // namespace

int32_t GridStepOfSpacing(double spacing, int32_t units_per_user_unit) {
  const double step = std::trunc(spacing * units_per_user_unit);
  if (!(step >= 1.0)) return 1;  // a step below one unit (or no number) is one unit
  return step < 2147483647.0 ? static_cast<int32_t>(step) : 2147483647;
}

ViewerServices& CurrentViewerServices() {
  return current_services != nullptr ? *current_services : Headless();
}

ViewerServices* SetViewerServices(ViewerServices* services) {
  ViewerServices* previous = &CurrentViewerServices();
  current_services = services;
  return previous == &Headless() ? nullptr : previous;
}

ScopedWaitStatus::ScopedWaitStatus(std::string_view status_text) {
  ViewerServices& services = CurrentViewerServices();
  services.SendMainEvent(status_text);
  services.SetWaitCursor(true);
}

ScopedWaitStatus::~ScopedWaitStatus() { CurrentViewerServices().SetWaitCursor(false); }

}  // namespace kavrinth
