// The Plot Window dialog over PlotWindowCoordsAccept.
#include "viewer/plot/qt/plot_window_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "viewer/plot/plot_commands.h"

namespace kavrinth {
namespace {

QLineEdit* Entry(QVBoxLayout* layout, const QString& label) {
  auto* text = new QLabel(label);
  auto* edit = new QLineEdit;
  edit->setMaxLength(static_cast<int>(kPlotWindowTextLimit));
  edit->setAccessibleName(label);
  text->setBuddy(edit);
  layout->addWidget(text);
  layout->addWidget(edit);
  return edit;
}

}  // namespace

PlotWindowDialog::PlotWindowDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Plot Window");
  setObjectName("PlotWindowDialog");
  auto* layout = new QVBoxLayout(this);
  minimum_ = Entry(layout, "Extents(MinX, MinY)");
  maximum_ = Entry(layout, "Extents(Max, MaxY)");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &PlotWindowDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &PlotWindowDialog::reject);
}

void PlotWindowDialog::accept() {
  if (PlotWindowCoordsAccept(minimum_->text().toStdString(), maximum_->text().toStdString())) {
    QDialog::accept();
  }
}

}  // namespace kavrinth
