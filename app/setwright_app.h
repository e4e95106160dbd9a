// The program's start-up: one copy per user, then the selection dialog as the main
// window; the program ends when that dialog closes.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "toolkit/product_page.h"

namespace setwright {

class CSetwrightApp {
 public:
  using PageFactory =
      std::function<std::vector<std::unique_ptr<IProductPage>>(ISelectionDialog& dialog)>;

  // Runs the program inside a running QApplication and returns its exit code. A second
  // copy of the same user shows "Setwright is opened!" and returns without other windows.
  int Run(const PageFactory& createPages);
};

}  // namespace setwright
