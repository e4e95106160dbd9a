// The program as a person runs it: the real application object, selection dialog and
// pages, with Qt's own event loop on a real X server, against simulated devices served as
// network ports. A scene is a list of steps, each waited for in turn while the program
// runs; the program's own exit ends the scene.
//
// With SETWRIGHT_SCREENSHOT_DIR set, every window a step looks at is saved there as PNG.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/setwright_app.h"
#include "app/setwright_dlg.h"
#include "pages/page_dialog.h"
#include "pages/pages.h"
#include "sim/rfc2217_server.h"
#include "sim/sim_device.h"

namespace setwright::test {
namespace {

// The simulated device as the server sees it, counting the ESC bytes the program sends.
class CountingDevice : public sim::DeviceModel {
 public:
  explicit CountingDevice(sim::SimDevice& device) : device_(device) {}
  void Attach(sim::IDeviceLink* link) override { device_.Attach(link); }
  void OnHostBytes(const std::string& bytes, uint32_t nowMs) override {
    for (char c : bytes) escapes += c == '\x1b';
    device_.OnHostBytes(bytes, nowMs);
  }
  void OnRts(bool on, uint32_t nowMs) override { device_.OnRts(on, nowMs); }
  void OnLineSettings(const sim::LineSettings& s, uint32_t nowMs) override {
    device_.OnLineSettings(s, nowMs);
  }
  void Advance(uint32_t nowMs) override { device_.Advance(nowMs); }
  int MsUntilNextEvent(uint32_t nowMs) override { return device_.MsUntilNextEvent(nowMs); }

  std::atomic<int> escapes{0};

 private:
  sim::SimDevice& device_;
};

struct Step {
  std::string what;
  std::function<bool()> done;  // polled until it holds; may act on the windows
};

// One run of the program in a working folder of its own, with a settings file that
// names the simulated device's port, model and network port.
class ProgramRun {
 public:
  ProgramRun(const char* deviceModel, const char* productName) {
    device_ = sim::SimDevice::Create(deviceModel);
    device_->SetPower(true);
    counting_ = std::make_unique<CountingDevice>(*device_);
    server_ = std::make_unique<sim::Rfc2217Server>(*counting_);
    started_ = server_->Start();
    url_ = QString::fromStdString(server_->Url());
    QFile ini(folder_.filePath(QStringLiteral("SETWRIGHT.ini")));
    if (ini.open(QIODevice::WriteOnly)) {
      ini.write(QStringLiteral("[TV-CONFIG]\r\nCOMNumber=%1\r\nProductName=%2\r\n"
                               "[NETWORK-PORTS]\r\nsimulator=%1\r\n")
                    .arg(url_, QString::fromLatin1(productName))
                    .toLatin1());
    }
  }
  ~ProgramRun() { server_->Stop(); }

  bool Started() const { return started_ && folder_.isValid(); }
  sim::SimDevice& Device() { return *device_; }
  int Escapes() const { return counting_->escapes.load(); }
  const QString& Url() const { return url_; }

  // Runs the program until it ends; the steps are taken in order while it runs. Returns
  // the index of the first step not done (steps.size() when all were), and the exit code.
  std::pair<std::size_t, int> Run(std::vector<Step> steps, int seconds = 60) {
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder_.path());
    std::size_t next = 0;
    QElapsedTimer clock;
    clock.start();
    QTimer driver;
    driver.setInterval(20);
    QObject::connect(&driver, &QTimer::timeout, [&] {
      while (next < steps.size() && steps[next].done()) ++next;
      if (clock.elapsed() > seconds * 1000) {
        ADD_FAILURE() << "still waiting for: "
                      << (next < steps.size() ? steps[next].what : "the program to end");
        driver.stop();
        QCoreApplication::exit(99);  // ends every event loop, the program's too
      }
    });
    driver.start();
    CSetwrightApp app;
    const int code = app.Run([](ISelectionDialog& d) { return CreateProductPages(d); });
    driver.stop();
    QDir::setCurrent(previous);
    return {next, code};
  }

 private:
  QTemporaryDir folder_;
  std::unique_ptr<sim::SimDevice> device_;
  std::unique_ptr<CountingDevice> counting_;
  std::unique_ptr<sim::Rfc2217Server> server_;
  bool started_ = false;
  QString url_;
};

void Snapshot(QWidget* w, const QString& name) {
  const QString dir = qEnvironmentVariable("SETWRIGHT_SCREENSHOT_DIR");
  if (dir.isEmpty() || !w) return;
  QDir().mkpath(dir);
  QString file = name;
  file.replace(QLatin1Char('/'), QLatin1Char('_'));
  w->grab().save(QDir(dir).filePath(file + QStringLiteral(".png")));
}

// The windows the user sees.
std::vector<QWidget*> VisibleWindows() {
  std::vector<QWidget*> shown;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible()) shown.push_back(w);
  return shown;
}

CSetwrightDlg* SelectionDialog() {
  for (QWidget* w : VisibleWindows())
    if (auto* d = qobject_cast<CSetwrightDlg*>(w)) return d;
  return nullptr;
}

CPageDialog* Page(const QString& model) {
  for (QWidget* w : VisibleWindows())
    if (auto* p = qobject_cast<CPageDialog*>(w);
        p && p->windowTitle() == model + QStringLiteral(" PROGRAM MODE"))
      return p;
  return nullptr;
}

QMessageBox* Box(const QString& text) {
  for (QWidget* w : VisibleWindows())
    if (auto* b = qobject_cast<QMessageBox*>(w); b && b->text() == text) return b;
  return nullptr;
}

QString Log(CPageDialog* page) {
  auto* log = page ? qobject_cast<QPlainTextEdit*>(page->Control(2024)) : nullptr;
  return log ? log->toPlainText() : QString();
}

// --- steps ---

// What a step does to a window runs from the event loop, as the user's input would: a press
// that runs a modal window must not run inside the step that polls for it.
void Later(std::function<void()> action) {
  QTimer::singleShot(0, qApp, std::move(action));
}

Step PressOk(const QString& product) {
  return {"the selection dialog with " + product.toStdString() + " to press OK", [product] {
            CSetwrightDlg* d = SelectionDialog();
            if (!d || d->ProductList()->currentText() != product) return false;
            Snapshot(d, QStringLiteral("selection-") + product);
            Later([d] { d->OkButton()->click(); });
            return true;
          }};
}

// The user finds the device on, switches it off and on again; the page reads it.
std::vector<Step> PowerRestart(ProgramRun& run, const QString& model) {
  return {
      {"the " + model.toStdString() + " page waiting for the power restart",
       [model] { return Log(Page(model)) == QStringLiteral("Waiting for device power restart!"); }},
      {"the device switched off",
       [&run] {
         run.Device().SetPower(false);
         return true;
       }},
      {"the page seeing the device off",
       [model] { return Log(Page(model)) == QStringLiteral("Waiting for device connected!"); }},
      {"the device switched on",
       [&run] {
         run.Device().SetPower(true);
         return true;
       }},
  };
}

Step AnswerProductBox(const QString& reported, bool ok) {
  const QString text =
      QStringLiteral("Product is %1.\nPlease select the right product name!").arg(reported);
  return {"the box naming " + reported.toStdString(), [text, ok, reported] {
            QMessageBox* box = Box(text);
            if (!box) return false;
            Snapshot(box, QStringLiteral("box-product-") + reported);
            QAbstractButton* button = box->button(ok ? QMessageBox::Ok : QMessageBox::Cancel);
            Later([button] { button->click(); });
            return true;
          }};
}

Step PageReads(const QString& model) {
  return {"the " + model.toStdString() + " page in program mode", [model] {
            CPageDialog* page = Page(model);
            if (Log(page) != QStringLiteral("Enter PROGRAM MODE success!")) return false;
            Snapshot(page, QStringLiteral("page-") + model);
            return true;
          }};
}

Step CloseBox(const QString& model) {
  return {"the close box of the " + model.toStdString() + " page", [model] {
            CPageDialog* page = Page(model);
            if (!page) return false;
            Later([page] { page->close(); });  // what the window manager's close button asks
            return true;
          }};
}

template <typename... Parts>
std::vector<Step> Scene(Parts&&... parts) {
  std::vector<Step> steps;
  auto add = [&](auto&& part) {
    if constexpr (std::is_same_v<std::decay_t<decltype(part)>, Step>)
      steps.push_back(part);
    else
      steps.insert(steps.end(), part.begin(), part.end());
  };
  (add(std::forward<Parts>(parts)), ...);
  return steps;
}

// --- scenes ---

TEST(ProgramLifecycle, RunsOnTheXcbPlatform) {
  EXPECT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
}

// The device is another model than the one chosen: the page closes and the selection
// dialog comes back with the reported model selected; OK opens that model's page, whose
// close box ends the program after taking the device out of program mode.
TEST(ProgramLifecycle, ProductSwitchReturnsToTheSelectionDialog) {
  struct Row {
    const char* chosen;
    const char* device;
  };
  for (const Row& r : {Row{"MR-310SKB", "ZWE-710SKB"}, Row{"MR-320KBS", "TV-520KBS"}}) {
    SCOPED_TRACE(r.chosen);
    ProgramRun run(r.device, r.chosen);
    ASSERT_TRUE(run.Started());
    const QString chosen = QString::fromLatin1(r.chosen), device = QString::fromLatin1(r.device);
    int escapesBeforeClose = -1;
    std::vector<Step> scene =
        Scene(PressOk(chosen), PowerRestart(run, chosen), AnswerProductBox(device, true),
              Step{"the page gone and the selection dialog back",
                   [chosen] {
                     CSetwrightDlg* d = SelectionDialog();
                     return d && !Page(chosen) && VisibleWindows().size() == 1;
                   }},
              PressOk(device), PowerRestart(run, device), PageReads(device),
              Step{"the ESC count before the close box",
                   [&] {
                     escapesBeforeClose = run.Escapes();
                     return true;
                   }},
              CloseBox(device));
    auto [stepsDone, code] = run.Run(scene);
    EXPECT_EQ(stepsDone, scene.size());
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(VisibleWindows().empty());
    // The close box in program mode sends one ESC and the device leaves program mode.
    EXPECT_EQ(run.Escapes() - escapesBeforeClose, 1);
    EXPECT_FALSE(run.Device().InProgramMode());
  }
}

// Cancel on the product box keeps the page open and idle; its close box then ends the
// program.
TEST(ProgramLifecycle, CancelKeepsThePageOpen) {
  ProgramRun run("TV-520KBS", "MR-320KBS");
  ASSERT_TRUE(run.Started());
  const QString page = QStringLiteral("MR-320KBS");
  std::vector<Step> scene = Scene(
      PressOk(page), PowerRestart(run, page), AnswerProductBox(QStringLiteral("TV-520KBS"), false),
      Step{"the page still open, the selection dialog hidden",
           [page] {
             return Page(page) && !SelectionDialog() && !QApplication::activePopupWidget() &&
                    !Box(QStringLiteral("Product is TV-520KBS.\nPlease select the right "
                                        "product name!"));
           }},
      CloseBox(page));
  auto [stepsDone, code] = run.Run(scene);
  EXPECT_EQ(stepsDone, scene.size());
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(VisibleWindows().empty());
}

// Esc on the selection dialog ends the program without opening a page.
TEST(ProgramLifecycle, EscOnTheSelectionDialogEndsTheProgram) {
  ProgramRun run("MR-310SKB", "MR-310SKB");
  ASSERT_TRUE(run.Started());
  auto [stepsDone, code] = run.Run({{"the selection dialog to press Esc", [] {
                                       CSetwrightDlg* d = SelectionDialog();
                                       if (!d) return false;
                                       Later([d] {
                                         d->activateWindow();
                                         QTest::keyClick(d, Qt::Key_Escape);
                                       });
                                       return true;
                                     }}});
  EXPECT_EQ(stepsDone, 1u);
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(VisibleWindows().empty());
  EXPECT_EQ(run.Escapes(), 0);
}

}  // namespace
}  // namespace setwright::test

int main(int argc, char** argv) {
  // The single-instance lock of this run is kept apart from a copy the user may be running.
  QTemporaryDir runtime;
  qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
