// A network port that takes the connection and never answers: the page's poll thread waits
// in the port's opening, and closing the page ends that wait at once.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace setwright::test
