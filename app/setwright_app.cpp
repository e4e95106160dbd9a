#include "app/setwright_app.h"

#include <QApplication>
#include <QMessageBox>

#include "app/resources.h"
#include "app/setwright_dlg.h"
#include "app/single_instance.h"

namespace setwright {

int CSetwrightApp::Run(const PageFactory& createPages) {
  QCoreApplication::setApplicationName(QStringLiteral("Setwright"));

  SingleInstanceGuard guard;
  if (guard.Acquire() == SingleInstanceGuard::Result::kAnotherCopyRuns) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Setwright"),
                    QStringLiteral("Setwright is opened!"), QMessageBox::Ok);
    box.exec();
    return 0;
  }

  // The settings root of the application; the program keeps its settings in its own file.
  QCoreApplication::setOrganizationName(QStringLiteral("Tavrin Co., Ltd."));
  QApplication::setWindowIcon(AppIcon());

  CSetwrightDlg dialog;
  std::vector<std::unique_ptr<IProductPage>> pages = createPages(dialog);
  std::vector<IProductPage*> pagePointers;
  for (const auto& page : pages) pagePointers.push_back(page.get());
  dialog.SetPages(std::move(pagePointers));
  dialog.exec();
  return 0;
}

}  // namespace setwright
