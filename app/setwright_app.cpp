#include "app/setwright_app.h"

#include <QApplication>
#include <QMessageBox>

#include "app/setwright_dlg.h"
#include "app/single_instance.h"
#include "toolkit/resources.h"

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
  // The selection dialog is the main window, run by the application's own event loop and
  // not by a modal loop of its own: the dialog hides while a page runs, and hiding a dialog
  // ends its modal loop, which would end the program whenever a page closes. The program
  // ends when the dialog finishes (OK never finishes it; Esc, its close box and a page
  // closed by the user do), not when the last window closes: a page closed to switch
  // products leaves no window shown until the dialog comes back.
  QApplication::setQuitOnLastWindowClosed(false);
  QObject::connect(&dialog, &QDialog::finished, qApp, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  dialog.show();
  return QApplication::exec();
}

}  // namespace setwright
