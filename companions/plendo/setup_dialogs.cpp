// Plot Setup and Page Setup dialogs.
#include "companions/plendo/setup_dialogs.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrinterInfo>
#include <QPushButton>
#include <QSpinBox>
#include <array>
#include <cstdlib>
#include <utility>
#include <vector>

#include "companions/plendo/plot_values.h"
#include "viewer/plot/plot_settings.h"

namespace kavrinth {
namespace {

constexpr const char* kSection = "plendo";

std::string Value(const std::string& config, const char* key, const char* fallback) {
  return GetPlotValue(kSection, key, config).value_or(fallback);
}

double Number(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// A form row whose field carries its label as accessible name.
template <typename Field>
Field* AddRow(QFormLayout* form, const QString& label, Field* field) {
  field->setAccessibleName(label);
  form->addRow(label, field);
  return field;
}

QDoubleSpinBox* RealField(double minimum, double maximum, int decimals, double value) {
  auto* box = new QDoubleSpinBox;
  box->setRange(minimum, maximum);
  box->setDecimals(decimals);
  box->setValue(value);
  return box;
}

bool Store(QWidget* parent, const std::string& config,
           const std::vector<std::pair<const char*, std::string>>& values) {
  for (const auto& [key, value] : values) {
    if (!SetPlotValue(kSection, key, config, value)) {
      QMessageBox::warning(parent, "Plot", QString("Cannot write %1.").arg(config.c_str()));
      return false;
    }
  }
  return true;
}

QString Text(double value) { return QString::number(value, 'g', 10); }

}  // namespace

bool RunPlotSetupDialog(QWidget* parent, const std::string& config) {
  QDialog dialog(parent);
  dialog.setWindowTitle("Plot Setup");
  dialog.setObjectName("PlotSetupDialog");
  auto* form = new QFormLayout(&dialog);
  auto* output = AddRow(form, "Output", new QComboBox);
  output->addItem("PDF file");
  output->addItems(QPrinterInfo::availablePrinterNames());
  const QString printer = QString::fromStdString(Value(config, kPrinterKey, ""));
  if (!printer.isEmpty() && output->findText(printer) > 0) {
    output->setCurrentIndex(output->findText(printer));
  }
  auto* file = new QLineEdit(QString::fromStdString(Value(config, kPlotFileKey, "")));
  file->setAccessibleName("PDF file");
  file->setPlaceholderText("vexil-plot.pdf in the documents folder");
  auto* browse = new QPushButton("Browse...");
  browse->setAccessibleName("Browse...");
  auto* file_row = new QHBoxLayout;
  file_row->addWidget(file);
  file_row->addWidget(browse);
  form->addRow("PDF file", file_row);
  QObject::connect(browse, &QPushButton::clicked, &dialog, [&] {
    const QString name =
        QFileDialog::getSaveFileName(&dialog, "PDF file", file->text(), "PDF (*.pdf)");
    if (!name.isEmpty()) file->setText(name);
  });
  const std::string pltype = Value(config, "PLTYPE", "PDF 8:colour");
  const size_t blank = pltype.find(' ');
  auto* pens = AddRow(form, "Pens", new QSpinBox);
  pens->setRange(1, kMaxPlotPens);
  pens->setValue(blank == std::string::npos ? 2 : std::atoi(pltype.c_str() + blank + 1));
  const std::string weights = Value(config, "LNWEIGHT", "0.006 0.003");
  const size_t space = weights.find(' ');
  auto* line = AddRow(form, "Line weight", RealField(0, 10, 4, Number(weights)));
  auto* fill_line = AddRow(
      form, "Fill line weight",
      RealField(0, 10, 4, space == std::string::npos ? 0.003 : Number(weights.substr(space + 1))));
  auto* dpi = AddRow(form, "DPI", new QSpinBox);
  dpi->setRange(72, 2400);
  dpi->setValue(std::atoi(Value(config, "DPI", "300").c_str()));
  auto* scale = AddRow(form, "Scale (0 fits the page)",
                       RealField(0, 1e6, 6, Number(Value(config, "PGSCALE", "0"))));
  const std::string origin = Value(config, "ORIGIN", "0,0");
  const size_t comma = origin.find(',');
  auto* origin_x = AddRow(form, "Origin X", RealField(-1e6, 1e6, 4, Number(origin)));
  auto* origin_y = AddRow(
      form, "Origin Y",
      RealField(-1e6, 1e6, 4, comma == std::string::npos ? 0 : Number(origin.substr(comma + 1))));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  form->addRow(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (dialog.exec() != QDialog::Accepted) return false;
  return Store(
      parent, config,
      {{kPrinterKey, output->currentIndex() == 0 ? "" : output->currentText().toStdString()},
       {kPlotFileKey, file->text().trimmed().toStdString()},
       {"PLTYPE", "PDF " + std::to_string(pens->value()) + ":colour"},
       {"LNWEIGHT", (Text(line->value()) + " " + Text(fill_line->value())).toStdString()},
       {"DPI", std::to_string(dpi->value())},
       {"PGSCALE", Text(scale->value()).toStdString()},
       {"ORIGIN", (Text(origin_x->value()) + "," + Text(origin_y->value())).toStdString()}});
}

bool RunPageSetupDialog(QWidget* parent, const std::string& config) {
  struct Paper {
    const char* text;
    const char* code;
  };
  static constexpr std::array<Paper, 7> kPapers = {{{"A (8.5 x 11 in)", "A"},
                                                    {"Legal (8.5 x 14 in)", "2"},
                                                    {"B (11 x 17 in)", "B"},
                                                    {"C (17 x 22 in)", "C"},
                                                    {"D (34 x 22 in)", "D"},
                                                    {"E (44 x 34 in)", "E"},
                                                    {"Custom", "Z"}}};
  QDialog dialog(parent);
  dialog.setWindowTitle("Page Setup");
  dialog.setObjectName("PageSetupDialog");
  auto* form = new QFormLayout(&dialog);
  const std::string size = Value(config, "PGSIZE", "A");
  auto* paper = AddRow(form, "Paper size", new QComboBox);
  for (const Paper& p : kPapers) paper->addItem(p.text, p.code);
  const bool custom = !size.empty() && (size[0] == 'Z' || size[0] == 'Y');
  for (int i = 0; i < paper->count(); ++i) {
    if (!size.empty() &&
        paper->itemData(i).toString().toStdString()[0] == (custom ? 'Z' : size[0])) {
      paper->setCurrentIndex(i);
    }
  }
  const size_t comma = size.find(',');
  const bool sized = custom && comma != std::string::npos && comma > 2;
  auto* width = AddRow(form, "Custom width",
                       RealField(0, 1e6, 4, sized ? Number(size.substr(2, comma - 2)) : 0));
  auto* height = AddRow(form, "Custom height",
                        RealField(0, 1e6, 4, sized ? Number(size.substr(comma + 1)) : 0));
  const auto custom_fields = [&] {
    const bool on = paper->currentData().toString() == "Z";
    width->setEnabled(on);
    height->setEnabled(on);
  };
  custom_fields();
  QObject::connect(paper, &QComboBox::currentIndexChanged, &dialog, custom_fields);
  auto* unit = AddRow(form, "Unit", new QComboBox);
  for (std::string_view name : kPlotUnitNames)
    unit->addItem(QString::fromLatin1(name.data(), name.size()));
  unit->setCurrentText(QString::fromStdString(Value(config, "PGUNIT", "INCH")));
  auto* orientation = AddRow(form, "Orientation", new QComboBox);
  orientation->addItem("Automatic", "auto");
  orientation->addItem("Portrait", "0");
  orientation->addItem("Landscape", "1");
  const std::string rotate = Value(config, "ROTATE", "auto");
  orientation->setCurrentIndex(rotate.rfind("auto", 0) == 0 ? 0
                               : std::atoi(rotate.c_str())  ? 2
                                                            : 1);
  std::vector<std::pair<const char*, QDoubleSpinBox*>> margins;
  for (const auto& [key, label] : {std::pair{"LEFT", "Left margin"},
                                   {"BOTTOM", "Bottom margin"},
                                   {"RIGHT", "Right margin"},
                                   {"TOP", "Top margin"}}) {
    margins.emplace_back(
        key, AddRow(form, label, RealField(0, 1e6, 4, Number(Value(config, key, "0.5")))));
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  form->addRow(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (dialog.exec() != QDialog::Accepted) return false;
  const std::string code = paper->currentData().toString().toStdString();
  std::vector<std::pair<const char*, std::string>> values = {
      {"PGSIZE", code == "Z" ? "Z " + Text(width->value()).toStdString() + "," +
                                   Text(height->value()).toStdString()
                             : code},
      {"PGUNIT", unit->currentText().toStdString()},
      {"ROTATE", orientation->currentData().toString().toStdString()}};
  for (const auto& [key, box] : margins) values.emplace_back(key, Text(box->value()).toStdString());
  return Store(parent, config, values);
}

}  // namespace kavrinth
