// The plot libraries as the viewer loads them: Page Setup and Plot Setup dialogs driven by
// a user write the plot configuration; Cancel leaves it alone; the plot reports to the
// viewer's window (status line on success, a message box on failure).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include "companions/plendo/plendo_api.h"
#include "companions/plendo/plot_values.h"
#include "support/qt/tests/qt_test_support.h"
#include "viewer/model/gdsformat_writer.h"

namespace kavrinth {
namespace {

template <class T>
T* Field(QWidget* dialog, const QString& name) {
  for (T* widget : dialog->findChildren<T*>()) {
    if (widget->accessibleName() == name) return widget;
  }
  ADD_FAILURE() << "no field " << name.toStdString();
  return nullptr;
}

void Press(QWidget* dialog, QDialogButtonBox::StandardButton which) {
  dialog->findChild<QDialogButtonBox*>()->button(which)->click();
}

class PlotLibrariesTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    const char* dir = std::getenv("KAVRINTH_PROGRAM_DIR");
    ASSERT_NE(dir, nullptr);
    plendo_ = dlopen((std::string(dir) + "/libplendo.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    orvisk_ = dlopen((std::string(dir) + "/liborvisk.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(plendo_, nullptr) << dlerror();
    ASSERT_NE(orvisk_, nullptr) << dlerror();
    config_ = Path("settings/plot.cfg");
  }
  void TearDown() override {
    if (plendo_) dlclose(plendo_);
    if (orvisk_) dlclose(orvisk_);
    TempDirTest::TearDown();
  }
  template <class F>
  F Entry(void* library, const char* name) {
    return reinterpret_cast<F>(dlsym(library, name));
  }
  std::string Value(const char* key) { return GetPlotValue("plendo", key, config_).value_or("?"); }

  void* plendo_ = nullptr;
  void* orvisk_ = nullptr;
  std::string config_;
};

TEST_F(PlotLibrariesTest, PageSetupWritesPaperUnitOrientationAndMargins) {
  const auto page_setup = Entry<PlotSetupEntry>(orvisk_, "orvisk_ordinal_1");
  ASSERT_NE(page_setup, nullptr);
  WhenModal<QDialog>([](QDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Page Setup");
    QComboBox* paper = Field<QComboBox>(dialog, "Paper size");
    QDoubleSpinBox* width = Field<QDoubleSpinBox>(dialog, "Custom width");
    EXPECT_FALSE(width->isEnabled()) << "letter size has no custom width";
    paper->setCurrentIndex(paper->findText("Custom"));
    EXPECT_TRUE(width->isEnabled());
    width->setValue(200);
    Field<QDoubleSpinBox>(dialog, "Custom height")->setValue(100);
    Field<QComboBox>(dialog, "Unit")->setCurrentText("MM");
    Field<QComboBox>(dialog, "Orientation")->setCurrentText("Landscape");
    Field<QDoubleSpinBox>(dialog, "Left margin")->setValue(12.5);
    Press(dialog, QDialogButtonBox::Ok);
  });
  QWidget frame;
  EXPECT_EQ(page_setup(&frame, config_.c_str()), 0);
  EXPECT_EQ(Value("PGSIZE"), "Z 200,100");
  EXPECT_EQ(Value("PGUNIT"), "MM");
  EXPECT_EQ(Value("ROTATE"), "1");
  EXPECT_EQ(Value("LEFT"), "12.5");
  EXPECT_EQ(Value("TOP"), "0.5");
  EXPECT_EQ(Value("PLTYPE"), "PDF 8:colour") << "the defaults of a new file";

  // The dialog starts from what is stored; Cancel changes nothing.
  const std::string before = ReadFile(config_);
  WhenModal<QDialog>([](QDialog* dialog) {
    EXPECT_EQ(Field<QComboBox>(dialog, "Paper size")->currentText(), "Custom");
    EXPECT_DOUBLE_EQ(Field<QDoubleSpinBox>(dialog, "Custom height")->value(), 100);
    EXPECT_EQ(Field<QComboBox>(dialog, "Orientation")->currentText(), "Landscape");
    Field<QComboBox>(dialog, "Unit")->setCurrentText("CM");
    Press(dialog, QDialogButtonBox::Cancel);
  });
  EXPECT_EQ(page_setup(&frame, config_.c_str()), 1);
  EXPECT_EQ(ReadFile(config_), before);
}

TEST_F(PlotLibrariesTest, PlotSetupWritesOutputPensWeightsAndScale) {
  const auto plot_setup = Entry<PlotSetupEntry>(plendo_, "plendo_ordinal_1");
  ASSERT_NE(plot_setup, nullptr);
  const std::string pdf = Path("mine.pdf");
  WhenModal<QDialog>([pdf](QDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Plot Setup");
    EXPECT_EQ(Field<QComboBox>(dialog, "Output")->currentText(), "PDF file");
    Field<QLineEdit>(dialog, "PDF file")->setText(QString::fromStdString(pdf));
    Field<QSpinBox>(dialog, "Pens")->setValue(3);
    Field<QDoubleSpinBox>(dialog, "Line weight")->setValue(0.01);
    Field<QSpinBox>(dialog, "DPI")->setValue(600);
    Field<QDoubleSpinBox>(dialog, "Scale (0 fits the page)")->setValue(2);
    Field<QDoubleSpinBox>(dialog, "Origin Y")->setValue(-1.5);
    Press(dialog, QDialogButtonBox::Ok);
  });
  EXPECT_EQ(plot_setup(nullptr, config_.c_str()), 0);
  EXPECT_EQ(Value(kPlotFileKey), pdf);
  EXPECT_EQ(Value(kPrinterKey), "");
  EXPECT_EQ(Value("PLTYPE"), "PDF 3:colour");
  EXPECT_EQ(Value("LNWEIGHT"), "0.01 0.003");
  EXPECT_EQ(Value("DPI"), "600");
  EXPECT_EQ(Value("PGSCALE"), "2");
  EXPECT_EQ(Value("ORIGIN"), "0,-1.5");
}

// Stored values the fields cannot show as they are: the dialog names each one and what its
// field shows instead as it opens; Cancel leaves the file alone, OK stores what was shown.
TEST_F(PlotLibrariesTest, PlotSetupNamesTheValuesItCannotShowAndStoresOnlyWhatItShows) {
  const auto plot_setup = Entry<PlotSetupEntry>(plendo_, "plendo_ordinal_1");
  ASSERT_NE(plot_setup, nullptr);
  ASSERT_TRUE(SetPlotValue("plendo", kPrinterKey, config_, "no-such-printer"));
  ASSERT_TRUE(SetPlotValue("plendo", "ORIGIN", config_, "1e300,nan"));
  ASSERT_TRUE(SetPlotValue("plendo", "LNWEIGHT", config_, "inf 1e-30"));
  ASSERT_TRUE(SetPlotValue("plendo", "PGSCALE", config_, "2e6"));
  ASSERT_TRUE(SetPlotValue("plendo", "DPI", config_, "40000"));
  ASSERT_TRUE(SetPlotValue("plendo", "PLTYPE", config_, "HPGL 24:mono"));
  const QStringList expected = {
      "The printer no-such-printer (PRINTER) is not there; Output shows PDF file instead.",
      "The plot value PLTYPE=HPGL 24:mono cannot be shown in Pens (1 to 16); it shows 16 "
      "instead.",
      "The plot value LNWEIGHT=inf cannot be held in the plot file; Line weight shows 0.006 "
      "instead.",
      "The plot value LNWEIGHT=1e-30 cannot be held in the plot file; Fill line weight shows "
      "0.003 instead.",
      "The plot value DPI=40000 cannot be held in the plot file; DPI shows 300 instead.",
      "The plot value PGSCALE=2e6 cannot be shown in Scale (0 fits the page) (0 to 1000000, 6 "
      "decimals); it shows 1000000 instead.",
      "The plot value ORIGIN=1e300 cannot be held in the plot file; Origin X shows 0 instead.",
      "The plot value ORIGIN=nan cannot be held in the plot file; Origin Y shows 0 instead.",
  };
  // The message comes over the dialog as it opens; then the fields show what it names.
  const auto open_dialog = [&](std::function<void(QDialog*)> then) {
    auto said = std::make_shared<QString>();
    WhenModal<QMessageBox>([said, then](QMessageBox* box) {
      *said = box->text();
      EXPECT_EQ(box->parentWidget()->windowTitle(), "Plot Setup");
      box->accept();
      WhenModal<QDialog>([then](QDialog* dialog) {
        EXPECT_EQ(dialog->objectName(), "PlotSetupDialog");
        EXPECT_EQ(Field<QSpinBox>(dialog, "Pens")->value(), 16);
        EXPECT_DOUBLE_EQ(Field<QDoubleSpinBox>(dialog, "Line weight")->value(), 0.006);
        EXPECT_DOUBLE_EQ(Field<QDoubleSpinBox>(dialog, "Fill line weight")->value(), 0.003);
        EXPECT_EQ(Field<QSpinBox>(dialog, "DPI")->value(), 300);
        EXPECT_DOUBLE_EQ(Field<QDoubleSpinBox>(dialog, "Origin X")->value(), 0);
        EXPECT_DOUBLE_EQ(Field<QDoubleSpinBox>(dialog, "Origin Y")->value(), 0);
        then(dialog);
      });
    });
    return said;
  };
  const std::string before = ReadFile(config_);
  auto said = open_dialog([](QDialog* dialog) { Press(dialog, QDialogButtonBox::Cancel); });
  EXPECT_EQ(plot_setup(nullptr, config_.c_str()), 1);
  EXPECT_EQ(said->toStdString(),
            (expected.join("\n") +
             "\n\nOK stores the values the dialog shows; Cancel leaves the file as it is.")
                .toStdString());
  EXPECT_EQ(ReadFile(config_), before);

  said = open_dialog([](QDialog* dialog) {
    Field<QDoubleSpinBox>(dialog, "Origin Y")->setValue(2.5);
    Press(dialog, QDialogButtonBox::Ok);
  });
  EXPECT_EQ(plot_setup(nullptr, config_.c_str()), 0);
  EXPECT_FALSE(said->isEmpty());
  EXPECT_EQ(Value("ORIGIN"), "0,2.5");
  EXPECT_EQ(Value("LNWEIGHT"), "0.006 0.003");
  EXPECT_EQ(Value("PGSCALE"), "1000000");
  EXPECT_EQ(Value("DPI"), "300");
  EXPECT_EQ(Value("PLTYPE"), "HPGL 16:mono") << "the plotter and colours stay";
  EXPECT_EQ(Value(kPrinterKey), "");

  // A plotter type without its pens: the dialog says what OK will store.
  ASSERT_TRUE(SetPlotValue("plendo", "PLTYPE", config_, "HPGL"));
  QString shown;
  WhenModal<QMessageBox>([&shown](QMessageBox* box) {
    shown = box->text();
    box->accept();
    WhenModal<QDialog>([](QDialog* dialog) { Press(dialog, QDialogButtonBox::Ok); });
  });
  EXPECT_EQ(plot_setup(nullptr, config_.c_str()), 0);
  EXPECT_TRUE(
      shown.startsWith("The plot value PLTYPE=HPGL does not give its pens as \"plotter "
                       "pens:colours\"; OK stores PLTYPE=HPGL 2:colour."))
      << shown.toStdString();
  EXPECT_EQ(Value("PLTYPE"), "HPGL 2:colour");
}

// Page Setup likewise: a paper, unit or number its fields cannot show is named as it opens.
TEST_F(PlotLibrariesTest, PageSetupNamesTheValuesItCannotShow) {
  const auto page_setup = Entry<PlotSetupEntry>(orvisk_, "orvisk_ordinal_1");
  ASSERT_NE(page_setup, nullptr);
  struct Case {
    const char* key;
    const char* value;
    const char* said;
    const char* stored;  // the value OK stores
  };
  const Case cases[] = {
      {"PGSIZE", "Z 1e300,nan",
       "The plot value PGSIZE=1e300 cannot be held in the plot file; Custom width shows 0 "
       "instead.\nThe plot value PGSIZE=nan cannot be held in the plot file; Custom height "
       "shows 0 instead.",
       "Z 0,0"},
      {"PGSIZE", "Q",
       "The plot value PGSIZE=Q is not one Paper size offers; it shows A (8.5 x 11 in) instead.",
       "A"},
      {"PGUNIT", "FURLONG",
       "The plot value PGUNIT=FURLONG is not one Unit offers; it shows INCH instead.", "INCH"},
      {"LEFT", "-2",
       "The plot value LEFT=-2 cannot be shown in Left margin (0 to 1000000, 4 decimals); it "
       "shows 0 instead.",
       "0"},
      {"TOP", "inf",
       "The plot value TOP=inf cannot be held in the plot file; Top margin shows 0.5 instead.",
       "0.5"},
      // What the dialog shows as it is stays as it is stored.
      {"ROTATE", "auto1", "", "auto1"},
      {"PGSIZE", "Y 20,30", "", "Y 20,30"},
  };
  QWidget frame;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key + std::string("=") + c.value);
    std::filesystem::remove(config_);
    ASSERT_TRUE(SetPlotValue("plendo", c.key, config_, c.value));
    const auto accept = [](QDialog* dialog) {
      EXPECT_EQ(dialog->objectName(), "PageSetupDialog");
      Press(dialog, QDialogButtonBox::Ok);
    };
    QString said;
    if (*c.said == 0) {
      WhenModal<QDialog>(accept);
    } else {
      WhenModal<QMessageBox>([&said, accept](QMessageBox* box) {
        said = box->text();
        box->accept();
        WhenModal<QDialog>(accept);
      });
    }
    EXPECT_EQ(page_setup(&frame, config_.c_str()), 0);
    if (*c.said != 0) {
      EXPECT_EQ(said.toStdString(), std::string(c.said) +
                                        "\n\nOK stores the values the dialog "
                                        "shows; Cancel leaves the file as it is.");
    }
    EXPECT_EQ(Value(c.key), c.stored);
  }
}

TEST_F(PlotLibrariesTest, PlotReportsToTheViewerWindow) {
  const auto plot = Entry<PlotEntry>(plendo_, "plendo_ordinal_3");
  const auto set = Entry<PlotSetValueEntry>(plendo_, "plendo_ordinal_5");
  ASSERT_TRUE(plot && set);
  ASSERT_EQ(set("plendo", kPlotFileKey, config_.c_str(), Path("shown.pdf").c_str()), 1);
  const std::string data = Path("plot.gds");
  ASSERT_EQ(GdsOutOpen(data, 1e-6, 0.001, "", false), kGdsOutOk);
  for (auto [name, value] :
       {std::pair{"$LIM_LT", 0}, {"$LIM_BT", 0}, {"$LIM_RG", 100}, {"$LIM_TP", 100}}) {
    GdsOutNamedProperty(name, kGdsSettingInt32, value);
  }
  GdsOutBeginStructure("TOP");
  GdsOutNamedProperty("SETCOLOR", kGdsSettingInt16, 2);
  const std::vector<GdsIntPoint> square = {{10, 10}, {90, 10}, {90, 90}, {10, 90}, {10, 10}};
  GdsOutBoundary(square, 1, 2, 0, 0);
  GdsOutEndStructure();
  ASSERT_EQ(GdsOutClose(), kGdsOutOk);

  QMainWindow frame;
  EXPECT_EQ(plot(&frame, config_.c_str(), data.c_str(), Path("second").c_str()), 0);
  EXPECT_TRUE(frame.statusBar()->currentMessage().contains("shown.pdf"));
  EXPECT_TRUE(std::filesystem::exists(Path("shown.pdf")));
  EXPECT_FALSE(std::filesystem::exists(Path("second"))) << "moved over the target";

  // A page whose margins leave nothing: a message box over the window, no file.
  ASSERT_EQ(set("plendo", kPlotFileKey, config_.c_str(), Path("none.pdf").c_str()), 1);
  ASSERT_EQ(GdsOutOpen(data, 1e-6, 0.001, "", false), kGdsOutOk);
  GdsOutNamedProperty("LTBTMGNX", kGdsSettingReal, 9.0);
  GdsOutBeginStructure("TOP");
  GdsOutEndStructure();
  ASSERT_EQ(GdsOutClose(), kGdsOutOk);
  QString shown;
  WhenModal<QMessageBox>([&shown](QMessageBox* box) {
    shown = box->text();
    box->accept();
  });
  EXPECT_NE(plot(&frame, config_.c_str(), data.c_str(), Path("second").c_str()), 0);
  EXPECT_EQ(shown, "The margins leave no room on the page.");
  EXPECT_FALSE(std::filesystem::exists(Path("none.pdf")));
}

}  // namespace
}  // namespace kavrinth
