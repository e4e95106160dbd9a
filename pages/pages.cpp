#include "pages/pages.h"

#include <QDialog>
#include <QString>

namespace setwright {
namespace {

class SimplePage : public IProductPage {
 public:
  SimplePage(ISelectionDialog& dialog, const char* name) : dialog_(dialog), name_(name) {}
  void SetPort(const std::string&, int, int, int, int) override {}
  void RunModal() override {
    QDialog page;
    page.setWindowTitle(QString::fromLatin1(name_) + QStringLiteral(" PROGRAM MODE"));
    page.resize(420, 300);
    page.exec();
    dialog_.CloseDialog();
  }

 private:
  ISelectionDialog& dialog_;
  const char* name_;
};

}  // namespace

std::vector<std::unique_ptr<IProductPage>> CreateProductPages(ISelectionDialog& dialog) {
  std::vector<std::unique_ptr<IProductPage>> pages;
  for (const char* name :
       {"TV-520KBS", "MR-320KBS", "KN-610K/PQ", "MR-310SKB", "ZWE-710SKB", "ZWE-720W/KB"})
    pages.push_back(std::make_unique<SimplePage>(dialog, name));
  return pages;
}

}  // namespace setwright
