#include "app/setwright_dlg.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QThread>

#include "serial/serial_port_info.h"
#include "toolkit/dialog_units.h"
#include "toolkit/embedded_font.h"
#include "toolkit/resources.h"

namespace setwright {

namespace {

// A drop-down list that asks for its entries to be refreshed just before it drops down.
// Its opened list is as wide as its longest entry; the closed list shows an entry too long
// for it with its middle left out, so that two network ports still read apart by their
// host's end and port number, and the whole entry is its tool tip.
class DropDownList : public QComboBox {
 public:
  explicit DropDownList(QWidget* parent) : QComboBox(parent) {
    connect(this, &QComboBox::currentIndexChanged, this,
            [this] { setToolTip(currentIndex() >= 0 ? currentText() : QString()); });
  }
  std::function<void()> aboutToDropDown;

  void showPopup() override {
    if (aboutToDropDown) aboutToDropDown();
    QAbstractItemView* list = view();
    int width = list->sizeHintForColumn(0) + 2 * list->frameWidth();
    if (count() > maxVisibleItems()) width += style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    list->setMinimumWidth(width);
    QComboBox::showPopup();
  }

  // The text the closed list shows for its current entry.
  QString ShownText() const {
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    return fontMetrics().elidedText(option.currentText, Qt::ElideMiddle, field.width());
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    option.currentText = ShownText();
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
  }
};

QString Local(const std::string& text) {
  return QString::fromLocal8Bit(text);
}
std::string Local(const QString& text) {
  return text.toLocal8Bit().toStdString();
}

void DefaultShowMessage(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Setwright"), text, QMessageBox::Ok, parent);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

}  // namespace

CSetwrightDlg::CSetwrightDlg(Options options, QWidget* parent)
    : QDialog(parent), options_(std::move(options)), settings_(options_.settingsPath) {
  if (!options_.showMessage) options_.showMessage = DefaultShowMessage;

  // The icons and the embedded font come first, before the settings are read.
  setWindowTitle(QStringLiteral("Setwright"));
  setWindowIcon(AppIcon());
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  BuildForm();
  ApplyEmbeddedFont();
  PlaceControls();

  // A missing settings file is created with the defaults. If it cannot be, the
  // defaults apply all the same; a failure to save the user's own choice is reported on OK.
  if (!settings_.Exists()) {
    settings_.Write(kSection, kPortKey, kDefaultPort);
    settings_.Write(kSection, kProductKey, kDefaultProduct);
  }

  // The port list, with the stored port as the preferred one.
  FillPortList(Local(settings_.Read(kSection, kPortKey, kDefaultPort)));

  // The products, and the stored one selected; its name is compared with its case.
  for (const char* product : kProducts) productList_->addItem(QString::fromLatin1(product));
  const QString stored = Local(settings_.Read(kSection, kProductKey, kDefaultProduct));
  const int index = productList_->findText(stored, Qt::MatchExactly | Qt::MatchCaseSensitive);
  productList_->setCurrentIndex(index >= 0 ? index : 0);
}

CSetwrightDlg::~CSetwrightDlg() = default;

void CSetwrightDlg::BuildForm() {
  productLabel_ = new QLabel(QStringLiteral("Product Select"), this);
  auto* products = new DropDownList(this);
  productList_ = products;
  portLabel_ = new QLabel(QStringLiteral("COM Select"), this);
  auto* ports = new DropDownList(this);
  ports->aboutToDropDown = [this] { RefreshPortList(); };
  portList_ = ports;
  okButton_ = new QPushButton(QStringLiteral("OK"), this);
  okButton_->setDefault(true);  // Enter presses OK
  okButton_->setAutoDefault(true);
  for (QComboBox* list : {productList_, portList_}) {
    list->setMaxVisibleItems(8);
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  }
  for (QLabel* label : {productLabel_, portLabel_}) {
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  }
  connect(okButton_, &QPushButton::clicked, this, &CSetwrightDlg::OnOk);
}

void CSetwrightDlg::ApplyEmbeddedFont() {
  EmbeddedFont font;
  font.LoadFromResource();
  font.MakeFont(12, EmbeddedFont::kRegular);
  // The form is measured in units of its font, so the dialog takes it as well.
  if (std::optional<QFont> formFont = font.MakeWindowFont(this)) setFont(*formFont);
  for (QWidget* control : {static_cast<QWidget*>(productLabel_),
                           static_cast<QWidget*>(productList_), static_cast<QWidget*>(portLabel_),
                           static_cast<QWidget*>(portList_), static_cast<QWidget*>(okButton_)}) {
    font.ApplyToControl(control);
  }
  font.Release();
}

void CSetwrightDlg::PlaceControls() {
  const DialogUnits units(font());
  productLabel_->setGeometry(units.ToPixels(13, 18, 67, 8));
  portLabel_->setGeometry(units.ToPixels(12, 42, 68, 8));
  okButton_->setGeometry(units.ToPixels(175, 40, 50, 14));
  // The height of a drop-down list in the form is that of its dropped list; the closed
  // list is as high as its font needs.
  const QRect product = units.ToPixels(84, 16, 84, 30);
  productList_->setGeometry(product.x(), product.y(), product.width(),
                            productList_->sizeHint().height());
  const QRect port = units.ToPixels(84, 41, 85, 30);
  portList_->setGeometry(port.x(), port.y(), port.width(), portList_->sizeHint().height());
  resize(units.X(238), units.Y(71));
}

QString CSetwrightDlg::ShownPortText() const {
  return static_cast<const DropDownList*>(portList_)->ShownText();
}

void CSetwrightDlg::SetPages(std::vector<IProductPage*> pages) {
  pages_ = std::move(pages);
}

void CSetwrightDlg::FillPortList(const QString& preferredName) {
  CSerialPortInfo::SetNetworkPorts(ReadNetworkPorts(settings_));
  IPortLister& lister = options_.lister ? *options_.lister : CSerialPortInfo::SystemLister();
  portList_->clear();
  for (const std::string& name : OrderedPortNames(lister.List())) {
    portList_->addItem(Local(name));
    portList_->setItemData(portList_->count() - 1, Local(name), Qt::ToolTipRole);
  }
  if (portList_->count() == 0) return;
  const int index = portList_->findText(preferredName, Qt::MatchExactly | Qt::MatchCaseSensitive);
  portList_->setCurrentIndex(index >= 0 ? index : 0);
}

void CSetwrightDlg::RefreshPortList() {
  FillPortList(portList_->currentIndex() >= 0 ? portList_->currentText() : QString());
}

void CSetwrightDlg::OnOk() {
  const int product = productList_->currentIndex();
  const QString portName = portList_->currentIndex() >= 0 ? portList_->currentText() : QString();

  // The choice is saved even when it is refused below.
  const bool portSaved = settings_.Write(kSection, kPortKey, Local(portName));
  const bool productSaved =
      settings_.Write(kSection, kProductKey, Local(productList_->currentText()));
  if (!portSaved || !productSaved) {
    ShowMessage(
        QStringLiteral("The settings could not be saved to \"%1\".").arg(settings_.DisplayPath()));
  }

  // The keyboard-to-serial pages need a port; the others look for theirs themselves.
  if (product >= 0 && product <= 2 && portList_->currentIndex() < 0) {
    ShowMessage(QStringLiteral("There is no COM port!"));
    return;
  }
  if (product < 0 || product >= static_cast<int>(pages_.size()) || pages_[product] == nullptr) {
    return;
  }

  IProductPage* page = pages_[product];
  hide();
  page->SetPort(Local(portName), kBaudRate, kParity, kDataBits, kStopBits);
  page->RunModal();
  // A page closed by the user has closed this dialog too: the program ends.
  if (!closing_) show();
}

void CSetwrightDlg::SelectProduct(int productIndex) {
  if (QThread::currentThread() != thread()) {
    QMetaObject::invokeMethod(
        this, [this, productIndex] { SelectProduct(productIndex); }, Qt::QueuedConnection);
    return;
  }
  if (productIndex >= 0 && productIndex < productList_->count()) {
    productList_->setCurrentIndex(productIndex);
  }
}

void CSetwrightDlg::CloseDialog() {
  if (QThread::currentThread() != thread()) {
    QMetaObject::invokeMethod(
        this, [this] { CloseDialog(); }, Qt::QueuedConnection);
    return;
  }
  closing_ = true;
  done(QDialog::Rejected);
}

void CSetwrightDlg::ShowMessage(const QString& text) {
  options_.showMessage(this, text);
}

}  // namespace setwright
