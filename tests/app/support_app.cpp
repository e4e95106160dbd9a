#include "support_app.h"

#include <QApplication>

namespace setwright::test {

QApplication& App() {
  static int argc = 1;
  static char name[] = "setwright-test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

}  // namespace setwright::test
