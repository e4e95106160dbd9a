#include <QApplication>

#include "app/setwright_app.h"
#include "pages/pages.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  setwright::CSetwrightApp app;
  return app.Run(
      [](setwright::ISelectionDialog& dialog) { return setwright::CreateProductPages(dialog); });
}
