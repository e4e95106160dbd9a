// How the selection dialog and the settings pages reach each other.
#pragma once

#include <string>

namespace setwright {

// A settings page object, one per model, living for the whole run.
class IProductPage {
 public:
  virtual ~IProductPage() = default;
  // Handed over on OK, before the page runs: port name (may be empty) and line settings.
  virtual void SetPort(const std::string& portName, int baudRate, int parity, int dataBits,
                       int stopBits) = 0;
  // Runs the page modally; returns when the page has closed.
  virtual void RunModal() = 0;
};

// The operations the selection dialog offers to the pages.
class ISelectionDialog {
 public:
  virtual ~ISelectionDialog() = default;
  virtual void SelectProduct(int productIndex) = 0;  // select that entry of the product list
  virtual void CloseDialog() = 0;                    // ends the program
};

}  // namespace setwright
