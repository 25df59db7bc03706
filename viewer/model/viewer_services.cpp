// The process's viewer services and the wait status of job reading and writing.
#include "viewer/model/viewer_services.h"

namespace kavrinth {
namespace {

HeadlessViewerServices& Headless() {
  static HeadlessViewerServices services;
  return services;
}

ViewerServices* current_services = nullptr;

}  // namespace

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
