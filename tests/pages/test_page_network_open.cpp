// Ports that do not open: the page tells why on a second line of its log, and a network
// port that takes the connection and never answers holds the page's poll thread in the
// port's opening only until the page is closed.
#include <gtest/gtest.h>

#include <QColor>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QThread>
#include <cstring>

#include "support_pages.h"

namespace setwright::test {
namespace {

TEST(PageNetworkOpen, ClosingThePageEndsAnOpeningThatHangs) {
  // Connections are taken by the system's listen queue; nothing ever answers them.
  QTcpServer silent;
  ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
  const std::string url = "rfc2217://127.0.0.1:" + std::to_string(silent.serverPort());
  for (const char* model : {"MR-320KBS", "MR-310SKB"}) {
    FakeSelection selection;
    FixedLister lister{{url}};
    CSerialPort selectedPort, newPort;
    std::unique_ptr<CPageDialog> page;
    for (const PageEntry& e : AllPages())
      if (std::strcmp(e.model, model) == 0)
        page = e.make(selection, {&selectedPort, &newPort, &lister, nullptr});
    ASSERT_TRUE(page);
    page->SetPort(url, 9600, 0, 8, 2);
    page->OpenPage();
    // Well inside the port's connect time-out of seconds: the poll thread is opening.
    QThread::msleep(400);
    QElapsedTimer timer;
    timer.start();
    page->close();
    const qint64 ms = timer.elapsed();
    EXPECT_LT(ms, 100) << model << ": closing took " << ms << " ms";
    EXPECT_FALSE(page->isVisible());
    EXPECT_FALSE(selectedPort.isOpen());
  }
}

TEST(PageOpenFailure, TheLogTellsThePortsReasonOnASecondLine) {
  const std::string missing = "/dev/ttyNoSuchPort7";
  FakeSelection selection;
  FixedLister lister{{missing}};
  CSerialPort selectedPort, newPort;
  std::unique_ptr<CPageDialog> page;
  for (const PageEntry& e : AllPages())
    if (std::strcmp(e.model, "KN-610K/PQ") == 0)
      page = e.make(selection, {&selectedPort, &newPort, &lister, nullptr});
  ASSERT_TRUE(page);
  page->SetPort(missing, 9600, 0, 8, 2);
  page->OpenPage();
  const QString expected = QStringLiteral(
      "Open COM failed! Close using COM APP!\n"
      "/dev/ttyNoSuchPort7: No such file or directory - check the cable and the port's name");
  EXPECT_TRUE(WaitFor([&] { return LogText(*page) == expected; })) << LogText(*page).toStdString();
  EXPECT_EQ(LogColour(*page), QColor(255, 0, 0));
  Snapshot(*page, QStringLiteral("open-failure-KN-610K-PQ"));
  page->close();
}

}  // namespace
}  // namespace setwright::test
