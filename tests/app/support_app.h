// The QApplication the widget tests run in (offscreen platform), made on first use.
#pragma once

class QApplication;

namespace setwright::test {

QApplication& App();

}  // namespace setwright::test
