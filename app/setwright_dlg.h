// The selection dialog, the program's main window: the user picks a device model and a
// serial port and presses OK; the choice is saved in the settings file and the page of
// that model runs modally while this dialog is hidden.
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "config/network_ports.h"
#include "config/settings_file.h"
#include "toolkit/product_page.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace setwright {

class IPortLister;

// What the selection dialog works on; the defaults are those of the program.
struct SelectionDialogOptions {
  QString settingsPath = QString::fromLatin1(SettingsFile::kFileName);
  IPortLister* lister = nullptr;  // the machine's ports when null
  // Shows a message box captioned "Setwright"; tests record the text instead.
  std::function<void(QWidget* parent, const QString& text)> showMessage;
};

class CSetwrightDlg : public QDialog, public ISelectionDialog {
  Q_OBJECT

 public:
  // The product list in its fixed order; the index is the product code of the pages.
  static constexpr std::array<const char*, 6> kProducts = {
      "TV-520KBS", "MR-320KBS", "KN-610K/PQ", "MR-310SKB", "ZWE-710SKB", "ZWE-720W/KB"};
  static constexpr const char* kSection = "TV-CONFIG";
  static constexpr const char* kNetworkSection = kNetworkPortsSection;
  static constexpr const char* kPortKey = "COMNumber";
  static constexpr const char* kProductKey = "ProductName";
  static constexpr const char* kDefaultPort = "COM1";
  static constexpr const char* kDefaultProduct = "MR-310SKB";
  // Line settings handed to a page: 9600 baud, 8 data bits, no parity, two stop bits.
  static constexpr int kBaudRate = 9600;
  static constexpr int kParity = 0;
  static constexpr int kDataBits = 8;
  static constexpr int kStopBits = 2;

  using Options = SelectionDialogOptions;

  explicit CSetwrightDlg(Options options = {}, QWidget* parent = nullptr);
  ~CSetwrightDlg() override;

  // The six page objects in product-list order; they must outlive the dialog's run.
  void SetPages(std::vector<IProductPage*> pages);

  // ISelectionDialog; may be called from any thread.
  void SelectProduct(int productIndex) override;
  void CloseDialog() override;

  QComboBox* ProductList() const { return productList_; }
  QComboBox* PortList() const { return portList_; }
  // The text the closed port list shows: its current entry, shortened in the middle when
  // the entry is too long for the list.
  QString ShownPortText() const;
  QPushButton* OkButton() const { return okButton_; }

 private:
  void BuildForm();
  void ApplyEmbeddedFont();
  void PlaceControls();
  void FillPortList(const QString& preferredName);
  void RefreshPortList();
  void OnOk();
  void ShowMessage(const QString& text);

  Options options_;
  SettingsFile settings_;
  std::vector<IProductPage*> pages_;
  bool closing_ = false;

  QLabel* productLabel_ = nullptr;
  QComboBox* productList_ = nullptr;
  QLabel* portLabel_ = nullptr;
  QComboBox* portList_ = nullptr;
  QPushButton* okButton_ = nullptr;
};

}  // namespace setwright
