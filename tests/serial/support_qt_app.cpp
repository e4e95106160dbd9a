// The serial layer and the simulator's server run Qt event loops on their own threads,
// which need the program's QCoreApplication; each test program makes one before its tests.
#include <gtest/gtest.h>

#include <QCoreApplication>

namespace {

class QtApplication : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "setwright-serial-tests";
    static char* argv[] = {name, nullptr};
    // Kept to the end of the process: port objects and the I/O thread outlive the tests.
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
  }
};

const auto* const kQtApplication = ::testing::AddGlobalTestEnvironment(new QtApplication);

}  // namespace
