// liborvisk.so: the viewer's page set-up library (paper size, units, orientation and
// margins of the plot configuration).
#include <QApplication>
#include <cstdio>

#include "companions/plendo/plendo_api.h"
#include "companions/plendo/plot_values.h"
#include "companions/plendo/setup_dialogs.h"

extern "C" __attribute__((visibility("default"))) int orvisk_ordinal_1(void* frame,
                                                                       const char* config_path) {
  if (config_path == nullptr) return 1;
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    std::fprintf(stderr, "orvisk: Page Setup needs the viewer's window.\n");
    return 1;
  }
  kavrinth::EnsurePlotDefaults(config_path);
  return kavrinth::RunPageSetupDialog(static_cast<QWidget*>(frame), config_path) ? 0 : 1;
}
