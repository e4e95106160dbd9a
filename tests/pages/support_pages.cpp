#include "support_pages.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <cstring>

#include "pages/ckn610kpq.h"
#include "pages/cmr310skb.h"
#include "pages/cmr320kbs.h"
#include "pages/ctv520kbs.h"
#include "pages/czwe710skb.h"
#include "pages/czwe720wkb.h"

namespace setwright::test {

namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "pages_test";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] const auto* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

template <typename Page>
PageEntry Entry(const char* model) {
  return {model, [](ISelectionDialog& s, PageDeps d) { return std::make_unique<Page>(s, d); }};
}

}  // namespace

const std::vector<PageEntry>& AllPages() {
  static const std::vector<PageEntry> pages{
      Entry<CTV520KBS>("TV-520KBS"),   Entry<CMR320KBS>("MR-320KBS"),
      Entry<CKN610KPQ>("KN-610K/PQ"),  Entry<CMR310SKB>("MR-310SKB"),
      Entry<CZWE710SKB>("ZWE-710SKB"), Entry<CZWE720WKB>("ZWE-720W/KB"),
  };
  return pages;
}

std::vector<SerialPortInfo> FixedLister::List() {
  std::vector<SerialPortInfo> list;
  for (const auto& n : names_) list.push_back({n, "", ""});
  return list;
}

// ---- SimRig ----

SimRig::SimRig(const char* model) {
  device = sim::SimDevice::Create(model);
  port = std::make_unique<sim::SimPort>(*device, "SIM1", clock.now);
  for (const PageEntry& e : AllPages())
    if (std::strcmp(e.model, model) == 0)
      page = e.make(selection, PageDeps{port.get(), &spare, &lister, &clock});
}

void SimRig::Open() {
  page->GetSession().SetManualTicks(true);
  page->SetPort("SIM1", 9600, 0, 8, 2);
  page->OpenPage();
  QCoreApplication::processEvents();
}

void SimRig::Ticks(int n) {
  for (int i = 0; i < n; ++i) {
    clock.now += 50;
    port->Advance(clock.now);
    page->GetSession().Tick();
    QCoreApplication::processEvents();
  }
}

bool SimRig::EnterProgramMode(int limit) {
  device->SetPower(false, clock.now);
  Ticks(3);
  device->SetPower(true, clock.now);
  for (int i = 0; i < limit && !page->GetSession().InProgramMode(); ++i) Ticks(1);
  return page->GetSession().InProgramMode();
}

// ---- BoxWatcher ----

struct BoxWatcher::Impl {
  QTimer timer;
};

BoxWatcher::BoxWatcher(bool pressOk) : impl_(std::make_unique<Impl>()) {
  impl_->timer.setInterval(10);
  QObject::connect(&impl_->timer, &QTimer::timeout, [this, pressOk] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (!box || !box->isVisible() || box->property("answered").toBool()) continue;
      box->setProperty("answered", true);
      captions << box->windowTitle();
      texts << box->text();
      if (pressOk)
        box->button(QMessageBox::Ok)->click();
      else
        box->reject();
    }
  });
  impl_->timer.start();
}

BoxWatcher::~BoxWatcher() = default;

QString LogText(CPageDialog& page) {
  return static_cast<QPlainTextEdit*>(page.Control(2024))->toPlainText();
}

QColor LogColour(CPageDialog& page) {
  return page.Control(2024)->palette().color(QPalette::Text);
}

void Snapshot(QWidget& window, const QString& name) {
  const QString dir = qEnvironmentVariable("SETWRIGHT_SCREENSHOT_DIR");
  if (dir.isEmpty()) return;
  QDir().mkpath(dir);
  QString file = name;
  file.replace(QLatin1Char('/'), QLatin1Char('_'));
  window.grab().save(QDir(dir).filePath(file + QStringLiteral(".png")));
}

bool WaitFor(const std::function<bool()>& done, int seconds) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < seconds * 1000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

bool PowerRestart(sim::SimDevice& device, CPageDialog& page) {
  if (!WaitFor([&] { return LogText(page) == "Waiting for device power restart!"; })) return false;
  device.SetPower(false);
  if (!WaitFor([&] { return LogText(page) == "Waiting for device connected!"; })) return false;
  device.SetPower(true);
  return true;
}

}  // namespace setwright::test
