// libplendo.so: the viewer's plot library. Plot set-up (a dialog over the plot
// configuration), the configuration values, and the plot itself: the plot data file drawn
// to a PDF file, or to a printer when one is chosen.
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QPdfWriter>
#include <QPrinter>
#include <QStandardPaths>
#include <QStatusBar>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "companions/plendo/plendo_api.h"
#include "companions/plendo/plot_file.h"
#include "companions/plendo/plot_render.h"
#include "companions/plendo/plot_values.h"
#include "companions/plendo/setup_dialogs.h"

namespace kavrinth {
namespace {

QWidget* FrameWidget(void* frame) { return static_cast<QWidget*>(frame); }

bool HaveWidgets() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

// A failure is shown in a message box over the viewer's window, or on stderr without one.
int Report(void* frame, const std::string& text) {
  if (HaveWidgets()) {
    QMessageBox::warning(FrameWidget(frame), "Plot", QString::fromStdString(text));
  } else {
    std::fprintf(stderr, "plendo: %s\n", text.c_str());
  }
  return 1;
}

void ShowDone(void* frame, const QString& text) {
  if (auto* window = qobject_cast<QMainWindow*>(FrameWidget(frame))) {
    window->statusBar()->showMessage(text, 10000);
  } else {
    std::fprintf(stderr, "plendo: %s\n", text.toLocal8Bit().constData());
  }
}

std::string DefaultPlotFile() {
  QString directory = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (directory.isEmpty() || !QDir(directory).exists()) directory = QDir::homePath();
  return QDir(directory).filePath("vexil-plot.pdf").toStdString();
}

// A GUI application for the length of the plot when the caller runs without one.
class GuiScope {
 public:
  GuiScope() {
    if (QCoreApplication::instance() != nullptr) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    app_ = std::make_unique<QGuiApplication>(argc_, argv_);
  }
  bool usable() const { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()); }

 private:
  int argc_ = 1;
  char name_[7] = "plendo";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QGuiApplication> app_;
};

// Moves the finished plot over its target; a copy when they lie on different file systems.
bool MoveInto(const std::string& from, const std::string& to, std::string* error) {
  std::error_code code;
  std::filesystem::rename(from, to, code);
  if (!code) return true;
  const std::string part = to + ".part";
  std::filesystem::copy_file(from, part, std::filesystem::copy_options::overwrite_existing, code);
  if (!code) std::filesystem::rename(part, to, code);
  std::error_code ignored;
  std::filesystem::remove(code ? part : from, ignored);
  if (code) *error = "Cannot write " + to + ": " + code.message();
  return !code;
}

int Plot(void* frame, const std::string& config, const char* data_file, const char* second) {
  if (data_file == nullptr) return Report(frame, "No plot data file was given.");
  PlotDocument document;
  std::string error;
  if (!ReadPlotFile(data_file, &document, &error)) {
    return Report(frame, "The plot data file cannot be read: " + error);
  }
  PlotLayout layout;
  if (!ComputePlotLayout(document, &layout, &error)) return Report(frame, error);
  GuiScope gui;
  if (!gui.usable()) return Report(frame, "Plotting needs a GUI application.");
  const std::string printer_name = GetPlotValue("plendo", kPrinterKey, config).value_or("");
  if (!printer_name.empty()) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPrinterName(QString::fromStdString(printer_name));
    if (!printer.isValid()) return Report(frame, "The printer " + printer_name + " is not there.");
    printer.setResolution(layout.dpi);
    if (!PaintPlot(&printer, document, layout, &error)) return Report(frame, error);
    ShowDone(frame, "Plot sent to " + QString::fromStdString(printer_name));
    return 0;
  }
  std::string target = GetPlotValue("plendo", kPlotFileKey, config).value_or("");
  if (target.empty()) target = DefaultPlotFile();
  // The PDF is written beside nothing it could harm and replaces the target only whole.
  const std::string work = second != nullptr && *second != '\0' ? second : target + ".part";
  {
    QPdfWriter writer(QString::fromStdString(work));
    writer.setResolution(layout.dpi);
    writer.setCreator("vexil");
    if (!PaintPlot(&writer, document, layout, &error)) {
      std::error_code ignored;
      std::filesystem::remove(work, ignored);
      return Report(frame, error + " (" + work + ")");
    }
  }
  std::error_code code;
  if (std::filesystem::file_size(work, code) == 0 || code) {
    return Report(frame, "The plot could not be written to " + work + ".");
  }
  if (!MoveInto(work, target, &error)) return Report(frame, error);
  ShowDone(frame, "Plot written to " + QString::fromStdString(target));
  return 0;
}

}  // namespace
}  // namespace kavrinth

using namespace kavrinth;

extern "C" {

__attribute__((visibility("default"))) int plendo_ordinal_1(void* frame, const char* config_path) {
  if (config_path == nullptr) return 1;
  if (!HaveWidgets()) {
    std::fprintf(stderr, "plendo: Plot Setup needs the viewer's window.\n");
    return 1;
  }
  EnsurePlotDefaults(config_path);
  return RunPlotSetupDialog(FrameWidget(frame), config_path) ? 0 : 1;
}

__attribute__((visibility("default"))) int plendo_ordinal_3(void* frame, const char* config_path,
                                                            const char* plot_data_file,
                                                            const char* second_file) {
  return Plot(frame, config_path != nullptr ? config_path : "", plot_data_file, second_file);
}

__attribute__((visibility("default"))) int plendo_ordinal_4(const char* section, const char* key,
                                                            const char* config_path, char* buffer,
                                                            int32_t size) {
  if (config_path == nullptr || buffer == nullptr || size <= 0) return 0;
  const std::optional<std::string> value = GetPlotValue(section, key, config_path);
  if (!value) return 0;
  const size_t n = std::min(value->size(), static_cast<size_t>(size) - 1);
  std::memcpy(buffer, value->data(), n);
  buffer[n] = '\0';
  return 1;
}

__attribute__((visibility("default"))) int plendo_ordinal_5(const char* section, const char* key,
                                                            const char* config_path,
                                                            const char* value) {
  if (config_path == nullptr || value == nullptr) return 0;
  return SetPlotValue(section, key, config_path, value) ? 1 : 0;
}

}  // extern "C"
