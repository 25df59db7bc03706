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
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <utility>
#include <vector>

#include "companions/plendo/plot_values.h"
#include "gdsii/encoding.h"
#include "viewer/plot/plot_settings.h"

namespace kavrinth {
namespace {

constexpr const char* kSection = "plendo";

std::string Value(const std::string& config, const char* key, const char* fallback) {
  return GetPlotValue(kSection, key, config).value_or(fallback);
}

double Number(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// The integer of the text as the viewer reads it (beyond 32 bits: the nearest 32-bit one).
int Integer(const std::string& text) {
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  return int(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

// A form row whose field carries its label as accessible name.
template <typename Field>
Field* AddRow(QFormLayout* form, const QString& label, Field* field) {
  field->setAccessibleName(label);
  form->addRow(label, field);
  return field;
}

QDoubleSpinBox* RealField(double minimum, double maximum, int decimals) {
  auto* box = new QDoubleSpinBox;
  box->setRange(minimum, maximum);
  box->setDecimals(decimals);
  return box;
}

QString Text(double value) { return QString::number(value, 'g', 10); }

// The stored values the dialog puts into its fields. A value that a field cannot show as it
// is would otherwise be changed without a word and stored so on OK: each one is named, with
// what its field shows instead, in a message over the dialog as it opens.
class StoredValues {
 public:
  // A real: one the plot file cannot hold (not a number, beyond the largest real, nearer 0
  // than the smallest it keeps) gives the field the value the plot takes without one; one
  // outside the field's range or finer than its decimals the nearest the field shows.
  void Real(QDoubleSpinBox* box, const char* key, const std::string& text, double fallback) {
    const double value = Number(text);
    if (!GdsReal8Holds(value)) {
      box->setValue(fallback);
      NotHeld(box, key, text, Text(box->value()));
      return;
    }
    box->setValue(value);
    if (box->value() != value) {
      NotShown(box, key, text,
               QString("%1 to %2, %3 decimals")
                   .arg(Text(box->minimum()), Text(box->maximum()))
                   .arg(box->decimals()),
               Text(box->value()));
    }
  }
  // An integer, which the plot file holds when held is set.
  void Integer(QSpinBox* box, const char* key, const std::string& text, int value, bool held,
               int fallback) {
    if (!held) {
      box->setValue(fallback);
      NotHeld(box, key, text, QString::number(box->value()));
      return;
    }
    box->setValue(value);
    if (box->value() != value) {
      NotShown(box, key, text, QString("%1 to %2").arg(box->minimum()).arg(box->maximum()),
               QString::number(box->value()));
    }
  }
  // A choice: the item whose data is the value, or the fallback item when none is.
  void Choice(QComboBox* box, const char* key, const std::string& text, const QString& value,
              int fallback) {
    const int index = box->findData(value);
    box->setCurrentIndex(index >= 0 ? index : fallback);
    if (index < 0) {
      notes_ << QString("The plot value %1=%2 is not one %3 offers; it shows %4 instead.")
                    .arg(key, QString::fromStdString(text), box->accessibleName(),
                         box->currentText());
    }
  }
  void Note(const QString& text) { notes_ << text; }
  // Once the dialog is shown, the message naming what its fields show instead.
  void SayWhenShown(QDialog* dialog) const {
    if (notes_.isEmpty()) return;
    const QString text =
        notes_.join("\n") +
        "\n\nOK stores the values the dialog shows; Cancel leaves the file as it is.";
    QTimer::singleShot(
        0, dialog, [dialog, text] { QMessageBox::warning(dialog, dialog->windowTitle(), text); });
  }

 private:
  void NotHeld(QWidget* box, const char* key, const std::string& text, const QString& shown) {
    notes_ << QString("The plot value %1=%2 cannot be held in the plot file; %3 shows %4 instead.")
                  .arg(key, QString::fromStdString(text), box->accessibleName(), shown);
  }
  void NotShown(QWidget* box, const char* key, const std::string& text, const QString& range,
                const QString& shown) {
    notes_ << QString("The plot value %1=%2 cannot be shown in %3 (%4); it shows %5 instead.")
                  .arg(key, QString::fromStdString(text), box->accessibleName(), range, shown);
  }
  QStringList notes_;
};

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

}  // namespace

bool RunPlotSetupDialog(QWidget* parent, const std::string& config) {
  QDialog dialog(parent);
  dialog.setWindowTitle("Plot Setup");
  dialog.setObjectName("PlotSetupDialog");
  auto* form = new QFormLayout(&dialog);
  auto* output = AddRow(form, "Output", new QComboBox);
  output->addItem("PDF file");
  output->addItems(QPrinterInfo::availablePrinterNames());
  StoredValues stored;
  const QString printer = QString::fromStdString(Value(config, kPrinterKey, ""));
  if (!printer.isEmpty() && output->findText(printer) > 0) {
    output->setCurrentIndex(output->findText(printer));
  } else if (!printer.isEmpty()) {
    stored.Note(QString("The printer %1 (%2) is not there; Output shows PDF file instead.")
                    .arg(printer, kPrinterKey));
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
  // A stored value the plot cannot use is replaced as the plot replaces it.
  const PlotSettings plot;
  // "PLTYPE" is "<plotter> <pens>:<colours>": the dialog sets the pens and keeps the rest.
  const std::string pltype = Value(config, "PLTYPE", "PDF 8:colour");
  const size_t colon = pltype.find(':');
  const std::string head = pltype.substr(0, colon);
  const size_t blank = head.find(' ');
  const std::string plotter = blank != std::string::npos ? head.substr(0, blank)
                              : head.empty()             ? "PDF"
                                                         : head;
  const std::string colours = colon != std::string::npos ? pltype.substr(colon) : ":colour";
  auto* pens = AddRow(form, "Pens", new QSpinBox);
  pens->setRange(1, kMaxPlotPens);
  stored.Integer(pens, "PLTYPE", pltype,
                 blank == std::string::npos ? 2 : Integer(head.substr(blank + 1)), true, 2);
  if (colon == std::string::npos || blank == std::string::npos) {
    stored.Note(
        QString("The plot value PLTYPE=%1 does not give its pens as \"plotter "
                "pens:colours\"; OK stores PLTYPE=%2.")
            .arg(QString::fromStdString(pltype),
                 QString::fromStdString(plotter + " " + std::to_string(pens->value()) + colours)));
  }
  const std::string weights = Value(config, "LNWEIGHT", "0.006 0.003");
  const size_t space = weights.find(' ');
  auto* line = AddRow(form, "Line weight", RealField(0, 10, 4));
  stored.Real(line, "LNWEIGHT", weights.substr(0, space), plot.line_weight);
  auto* fill_line = AddRow(form, "Fill line weight", RealField(0, 10, 4));
  stored.Real(fill_line, "LNWEIGHT",
              space == std::string::npos ? "0.003" : weights.substr(space + 1),
              plot.fill_line_weight);
  auto* dpi = AddRow(form, "DPI", new QSpinBox);
  dpi->setRange(72, 2400);
  const std::string dpi_text = Value(config, "DPI", "300");
  const int dpi_value = Integer(dpi_text);
  stored.Integer(dpi, "DPI", dpi_text, dpi_value,
                 dpi_value >= kMinPlotDpi && dpi_value <= kMaxPlotDpi, plot.dpi);
  auto* scale = AddRow(form, "Scale (0 fits the page)", RealField(0, 1e6, 6));
  stored.Real(scale, "PGSCALE", Value(config, "PGSCALE", "0"), 0);
  const std::string origin = Value(config, "ORIGIN", "0,0");
  const size_t comma = origin.find(',');
  auto* origin_x = AddRow(form, "Origin X", RealField(-1e6, 1e6, 4));
  stored.Real(origin_x, "ORIGIN", origin.substr(0, comma), 0);
  auto* origin_y = AddRow(form, "Origin Y", RealField(-1e6, 1e6, 4));
  stored.Real(origin_y, "ORIGIN", comma == std::string::npos ? "0" : origin.substr(comma + 1), 0);
  stored.SayWhenShown(&dialog);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  form->addRow(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (dialog.exec() != QDialog::Accepted) return false;
  return Store(
      parent, config,
      {{kPrinterKey, output->currentIndex() == 0 ? "" : output->currentText().toStdString()},
       {kPlotFileKey, file->text().trimmed().toStdString()},
       {"PLTYPE", plotter + " " + std::to_string(pens->value()) + colours},
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
  // A stored value the plot cannot use is replaced as the plot replaces it.
  const PlotSettings plot;
  StoredValues stored;
  const std::string size = Value(config, "PGSIZE", "A");
  auto* paper = AddRow(form, "Paper size", new QComboBox);
  for (const Paper& p : kPapers) paper->addItem(p.text, p.code);
  const bool custom = !size.empty() && (size[0] == 'Z' || size[0] == 'Y');
  if (!size.empty()) stored.Choice(paper, "PGSIZE", size, QString(custom ? 'Z' : size[0]), 0);
  const size_t comma = size.find(',');
  const bool sized = custom && comma != std::string::npos && comma > 2;
  auto* width = AddRow(form, "Custom width", RealField(0, 1e6, 4));
  auto* height = AddRow(form, "Custom height", RealField(0, 1e6, 4));
  if (sized) {
    stored.Real(width, "PGSIZE", size.substr(2, comma - 2), plot.custom_width);
    stored.Real(height, "PGSIZE", size.substr(comma + 1), plot.custom_height);
  }
  const auto custom_fields = [&] {
    const bool on = paper->currentData().toString() == "Z";
    width->setEnabled(on);
    height->setEnabled(on);
  };
  custom_fields();
  QObject::connect(paper, &QComboBox::currentIndexChanged, &dialog, custom_fields);
  auto* unit = AddRow(form, "Unit", new QComboBox);
  for (std::string_view name : kPlotUnitNames) {
    const QString text = QString::fromLatin1(name.data(), name.size());
    unit->addItem(text, text);
  }
  const std::string unit_name = Value(config, "PGUNIT", "INCH");
  stored.Choice(unit, "PGUNIT", unit_name, QString::fromStdString(unit_name), plot.paper_unit);
  auto* orientation = AddRow(form, "Orientation", new QComboBox);
  orientation->addItem("Automatic", "auto");
  orientation->addItem("Portrait", "0");
  orientation->addItem("Landscape", "1");
  // "auto" may carry the flag the plot takes when a scale is given: it stays while
  // Automatic does.
  const std::string rotate = Value(config, "ROTATE", "auto");
  orientation->setCurrentIndex(rotate.rfind("auto", 0) == 0 ? 0
                               : std::atoi(rotate.c_str())  ? 2
                                                            : 1);
  std::vector<std::pair<const char*, QDoubleSpinBox*>> margins;
  struct Margin {
    const char* key;
    const char* label;
    double fallback;
  };
  for (const Margin& m : {Margin{"LEFT", "Left margin", plot.margin_left},
                          Margin{"BOTTOM", "Bottom margin", plot.margin_bottom},
                          Margin{"RIGHT", "Right margin", plot.margin_right},
                          Margin{"TOP", "Top margin", plot.margin_top}}) {
    auto* box = AddRow(form, m.label, RealField(0, 1e6, 4));
    stored.Real(box, m.key, Value(config, m.key, "0.5"), m.fallback);
    margins.emplace_back(m.key, box);
  }
  stored.SayWhenShown(&dialog);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  form->addRow(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (dialog.exec() != QDialog::Accepted) return false;
  const std::string code = paper->currentData().toString().toStdString();
  std::vector<std::pair<const char*, std::string>> values = {
      {"PGSIZE", code == "Z" ? std::string(1, custom ? size[0] : 'Z') + " " +
                                   Text(width->value()).toStdString() + "," +
                                   Text(height->value()).toStdString()
                             : code},
      {"PGUNIT", unit->currentText().toStdString()},
      {"ROTATE", orientation->currentIndex() == 0 && rotate.rfind("auto", 0) == 0
                     ? rotate
                     : orientation->currentData().toString().toStdString()}};
  for (const auto& [key, box] : margins) values.emplace_back(key, Text(box->value()).toStdString());
  return Store(parent, config, values);
}

}  // namespace kavrinth
