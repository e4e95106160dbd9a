// The selection dialog over a scripted port listing, fake pages and a settings file in a
// temporary directory, built offscreen.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextLayout>
#include <thread>

#include "app/setwright_dlg.h"
#include "serial/serial_port_info.h"
#include "support_app.h"
#include "support_files.h"
#include "toolkit/dialog_units.h"
#include "toolkit/embedded_font.h"

namespace setwright {
namespace {

using test::ReadFile;
using test::WriteFile;
using Names = std::vector<std::string>;

class ScriptedLister : public IPortLister {
 public:
  std::vector<SerialPortInfo> List() override { return listing; }
  void Set(const Names& names) {
    listing.clear();
    for (const std::string& name : names) listing.push_back({name, "", ""});
  }
  std::vector<SerialPortInfo> listing;
};

// Records what the dialog hands over and whether the dialog was visible meanwhile.
class FakePage : public IProductPage {
 public:
  void SetPort(const std::string& name, int baud, int parity, int dataBits, int stopBits) override {
    portName = name;
    line = {baud, parity, dataBits, stopBits};
  }
  void RunModal() override {
    ++runs;
    dialogVisibleWhileRunning = dialog->isVisible();
    if (closesProgram) dialog->CloseDialog();
  }
  CSetwrightDlg* dialog = nullptr;
  bool closesProgram = false;
  int runs = 0;
  bool dialogVisibleWhileRunning = true;
  std::string portName = "-";
  std::vector<int> line;
};

Names Entries(const QComboBox* list) {
  Names names;
  for (int i = 0; i < list->count(); ++i) names.push_back(list->itemText(i).toStdString());
  return names;
}

class SelectionDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::App();
    ASSERT_TRUE(dir_.isValid());
  }

  QString Path() const { return dir_.filePath(QStringLiteral("SETWRIGHT.ini")); }

  std::unique_ptr<CSetwrightDlg> MakeDialog() {
    SelectionDialogOptions options;
    options.settingsPath = Path();
    options.lister = &lister_;
    options.showMessage = [this](QWidget*, const QString& text) {
      messages_.push_back(text.toStdString());
    };
    auto dialog = std::make_unique<CSetwrightDlg>(options);
    std::vector<IProductPage*> pages;
    for (FakePage& page : pages_) {
      page.dialog = dialog.get();
      pages.push_back(&page);
    }
    dialog->SetPages(pages);
    return dialog;
  }

  QTemporaryDir dir_;
  ScriptedLister lister_;
  std::array<FakePage, 6> pages_;
  Names messages_;
};

TEST_F(SelectionDialogTest, OpensWithTheStoredChoice) {
  const std::string created = "[TV-CONFIG]\r\nCOMNumber=COM1\r\nProductName=MR-310SKB\r\n";
  const struct {
    const char* what;
    std::optional<std::string> file;  // nothing: no file; "<dir>": a directory at the path
    Names ports;
    std::string product;
    Names portList;
    int portIndex;
    std::optional<std::string> fileAfter;
  } cases[] = {
      {"first run creates the file",
       std::nullopt,
       {"COM3", "COM1"},
       "MR-310SKB",
       {"COM1", "COM3"},
       0,
       created},
      {"COM1 absent selects the first port",
       std::nullopt,
       {"COM10", "COM2", "COM9"},
       "MR-310SKB",
       {"COM2", "COM9", "COM10"},
       0,
       created},
      {"missing keys read as defaults",
       "[TV-CONFIG]\r\n",
       {"COM4", "COM1"},
       "MR-310SKB",
       {"COM1", "COM4"},
       0,
       "[TV-CONFIG]\r\n"},
      {"stored choice",
       "[tv-config]\ncomnumber=COM4\nproductname=ZWE-710SKB\n",
       {"COM1", "COM4"},
       "ZWE-710SKB",
       {"COM1", "COM4"},
       1,
       std::nullopt},
      {"lower-case product name selects entry 0",
       "[TV-CONFIG]\nProductName=mr-310skb\n",
       {"COM1"},
       "TV-520KBS",
       {"COM1"},
       0,
       std::nullopt},
      {"unknown product selects entry 0",
       "[TV-CONFIG]\nProductName=XX-999\n",
       {},
       "TV-520KBS",
       {},
       -1,
       std::nullopt},
      {"stored port absent selects entry 0",
       "[TV-CONFIG]\nCOMNumber=COM7\n",
       {"COM4", "COM2"},
       "MR-310SKB",
       {"COM2", "COM4"},
       0,
       std::nullopt},
      {"port names compared with case",
       "[TV-CONFIG]\nCOMNumber=com4\n",
       {"COM2", "COM4"},
       "MR-310SKB",
       {"COM2", "COM4"},
       0,
       std::nullopt},
      {"empty port list has no selection",
       "[TV-CONFIG]\nProductName=KN-610K/PQ\n",
       {},
       "KN-610K/PQ",
       {},
       -1,
       std::nullopt},
      {"unusable file gives the defaults",
       "<dir>",
       {"COM2", "COM1"},
       "MR-310SKB",
       {"COM1", "COM2"},
       0,
       std::nullopt},
      {"binary file gives the defaults and is left alone",
       std::string("[TV-CONFIG]\nProductName=ZWE-710SKB\n\0", 36),
       {"COM1"},
       "MR-310SKB",
       {"COM1"},
       0,
       std::string("[TV-CONFIG]\nProductName=ZWE-710SKB\n\0", 36)},
  };
  for (const auto& c : cases) {
    QFile::remove(Path());
    QDir(Path()).removeRecursively();
    if (c.file == "<dir>") {
      QDir().mkpath(Path());
    } else if (c.file) {
      WriteFile(Path(), *c.file);
    }
    lister_.Set(c.ports);
    auto dialog = MakeDialog();
    EXPECT_EQ(dialog->ProductList()->currentText().toStdString(), c.product) << c.what;
    EXPECT_EQ(Entries(dialog->PortList()), c.portList) << c.what;
    EXPECT_EQ(dialog->PortList()->currentIndex(), c.portIndex) << c.what;
    if (c.fileAfter) {
      EXPECT_EQ(ReadFile(Path()), c.fileAfter) << c.what;
    }
    EXPECT_TRUE(messages_.empty()) << c.what;
  }
}

TEST_F(SelectionDialogTest, ProductListHasTheSixModelsInOrder) {
  auto dialog = MakeDialog();
  EXPECT_EQ(Entries(dialog->ProductList()), (Names{"TV-520KBS", "MR-320KBS", "KN-610K/PQ",
                                                   "MR-310SKB", "ZWE-710SKB", "ZWE-720W/KB"}));
}

TEST_F(SelectionDialogTest, OkSavesTheChoiceThenRunsThePage) {
  const std::string noPort = "There is no COM port!";
  const struct {
    const char* what;
    bool unwritable;
    Names ports;
    int product;
    Names messages;  // "<save>": the message naming the file that could not be written
    int pageRun;     // index of the page that ran, or -1
    std::string portName;
    std::optional<std::string> fileAfter;
  } cases[] = {
      {"keyboard-to-serial model refuses without port, choice saved",
       false,
       {},
       0,
       {noPort},
       -1,
       "-",
       "[TV-CONFIG]\r\nCOMNumber=\r\nProductName=TV-520KBS\r\n"},
      {"MR-320KBS refuses too", false, {}, 1, {noPort}, -1, "-", std::nullopt},
      {"serial-to-keyboard model runs with an empty port name",
       false,
       {},
       3,
       {},
       3,
       "",
       "[TV-CONFIG]\r\nCOMNumber=\r\nProductName=MR-310SKB\r\n"},
      {"page gets the selected port",
       false,
       {"COM3", "COM1"},
       2,
       {},
       2,
       "COM1",
       "[TV-CONFIG]\r\nCOMNumber=COM1\r\nProductName=KN-610K/PQ\r\n"},
      {"device path handed over as it is",
       false,
       {"/dev/ttyUSB0"},
       5,
       {},
       5,
       "/dev/ttyUSB0",
       std::nullopt},
      {"unwritable file is reported, the page still runs",
       true,
       {"COM1"},
       4,
       {"<save>"},
       4,
       "COM1",
       std::nullopt},
      {"unwritable file and no port: both reported",
       true,
       {},
       0,
       {"<save>", noPort},
       -1,
       "-",
       std::nullopt},
  };
  const std::string saveMessage =
      "The settings could not be saved to \"" +
      QDir::toNativeSeparators(QFileInfo(Path()).absoluteFilePath()).toStdString() + "\".";
  for (const auto& c : cases) {
    QFile::remove(Path());
    QDir(Path()).removeRecursively();
    if (c.unwritable) QDir().mkpath(Path());
    lister_.Set(c.ports);
    pages_ = {};
    messages_.clear();
    auto dialog = MakeDialog();
    dialog->show();
    dialog->ProductList()->setCurrentIndex(c.product);
    dialog->OkButton()->click();

    Names expectedMessages = c.messages;
    for (std::string& m : expectedMessages) {
      if (m == "<save>") m = saveMessage;
    }
    EXPECT_EQ(messages_, expectedMessages) << c.what;
    for (int i = 0; i < 6; ++i) {
      EXPECT_EQ(pages_[i].runs, i == c.pageRun ? 1 : 0) << c.what << ", page " << i;
    }
    if (c.pageRun >= 0) {
      const FakePage& page = pages_[c.pageRun];
      EXPECT_EQ(page.portName, c.portName) << c.what;
      EXPECT_EQ(page.line, (std::vector<int>{9600, 0, 8, 2})) << c.what;
      EXPECT_FALSE(page.dialogVisibleWhileRunning) << c.what;
    }
    EXPECT_TRUE(dialog->isVisible()) << c.what;
    if (c.fileAfter) {
      EXPECT_EQ(ReadFile(Path()), c.fileAfter) << c.what;
    }
  }
}

TEST_F(SelectionDialogTest, PageClosedByTheUserEndsTheDialog) {
  lister_.Set({"COM1"});
  auto dialog = MakeDialog();
  pages_[3].closesProgram = true;
  dialog->ProductList()->setCurrentIndex(3);
  int result = -1;
  QMetaObject::invokeMethod(
      dialog.get(), [&] { dialog->OkButton()->click(); }, Qt::QueuedConnection);
  result = dialog->exec();
  EXPECT_EQ(pages_[3].runs, 1);
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_FALSE(dialog->isVisible());
}

TEST_F(SelectionDialogTest, EnterPressesOkAndEscapeEndsTheDialog) {
  const struct {
    const char* what;
    Qt::Key key;
    int pageRuns;
    bool visibleAfter;
  } cases[] = {
      {"Enter", Qt::Key_Return, 1, true},
      {"keypad Enter", Qt::Key_Enter, 1, true},
      {"Esc", Qt::Key_Escape, 0, false},
  };
  for (const auto& c : cases) {
    lister_.Set({"COM1"});
    pages_ = {};
    auto dialog = MakeDialog();
    dialog->show();
    dialog->ProductList()->setCurrentIndex(3);
    QKeyEvent press(QEvent::KeyPress, c.key, Qt::NoModifier);
    QApplication::sendEvent(dialog.get(), &press);
    EXPECT_EQ(pages_[3].runs, c.pageRuns) << c.what;
    EXPECT_EQ(dialog->isVisible(), c.visibleAfter) << c.what;
  }
}

TEST_F(SelectionDialogTest, DropDownRefreshesThePortsAndKeepsTheSelection) {
  const struct {
    const char* what;
    Names before;
    const char* selected;
    Names after;
    Names expected;
    int expectedIndex;
  } cases[] = {
      {"new port in its numeric place",
       {"COM1", "COM9"},
       "COM9",
       {"COM9", "COM1", "COM3"},
       {"COM1", "COM3", "COM9"},
       2},
      {"selected port gone", {"COM1", "COM9"}, "COM9", {"COM1", "COM2"}, {"COM1", "COM2"}, 0},
      {"all ports gone", {"COM1"}, "COM1", {}, {}, -1},
      {"first port appears", {}, nullptr, {"COM5"}, {"COM5"}, 0},
  };
  for (const auto& c : cases) {
    lister_.Set(c.before);
    auto dialog = MakeDialog();
    dialog->show();
    if (c.selected) dialog->PortList()->setCurrentText(QString::fromLatin1(c.selected));
    lister_.Set(c.after);
    dialog->PortList()->showPopup();
    EXPECT_EQ(Entries(dialog->PortList()), c.expected) << c.what;
    EXPECT_EQ(dialog->PortList()->currentIndex(), c.expectedIndex) << c.what;
    dialog->PortList()->hidePopup();
  }
}

TEST_F(SelectionDialogTest, PagesSelectProductsFromTheirOwnThreads) {
  auto dialog = MakeDialog();
  std::thread page([&] { dialog->SelectProduct(4); });
  page.join();
  const QDeadlineTimer deadline(30000);
  while (dialog->ProductList()->currentIndex() != 4 && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  EXPECT_EQ(dialog->ProductList()->currentIndex(), 4);
  dialog->SelectProduct(9);  // out of range: ignored
  EXPECT_EQ(dialog->ProductList()->currentIndex(), 4);
}

TEST_F(SelectionDialogTest, NetworkPortsOfTheSettingsFileFollowTheLocalPorts) {
  WriteFile(Path(),
            "[TV-CONFIG]\nCOMNumber=rfc2217://127.0.0.1:4001\n"
            "[NETWORK-PORTS]\nbench=rfc2217://127.0.0.1:4001\nlab=rfc2217://lab:2217\n");
  SelectionDialogOptions options;
  options.settingsPath = Path();  // the machine's own ports, then the network ports
  CSetwrightDlg dialog(options);
  const Names entries = Entries(dialog.PortList());
  ASSERT_GE(entries.size(), 2u);
  EXPECT_EQ(Names(entries.end() - 2, entries.end()),
            (Names{"rfc2217://127.0.0.1:4001", "rfc2217://lab:2217"}));
  EXPECT_EQ(dialog.PortList()->currentText().toStdString(), "rfc2217://127.0.0.1:4001");
  CSerialPortInfo::SetNetworkPorts({});
}

TEST_F(SelectionDialogTest, LongPortNamesReadApartInTheClosedList) {
  lister_.Set({"COM1", "rfc2217://device-server-east.example:4001",
               "rfc2217://device-server-west.example:4002"});
  auto dialog = MakeDialog();
  dialog->show();
  QComboBox* ports = dialog->PortList();
  ports->setCurrentIndex(0);
  EXPECT_EQ(dialog->ShownPortText(), QStringLiteral("COM1"));  // fits: shown whole
  EXPECT_EQ(ports->toolTip(), QStringLiteral("COM1"));

  QStringList shown;
  for (int i = 1; i <= 2; ++i) {
    ports->setCurrentIndex(i);
    const QString name = ports->itemText(i);
    const QString text = dialog->ShownPortText();
    shown << text;
    // Too long for the list: the middle goes, the scheme's start and the port stay.
    EXPECT_TRUE(text.contains(QChar(0x2026))) << text.toStdString();
    EXPECT_TRUE(text.startsWith(QStringLiteral("rfc"))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(name.right(4))) << text.toStdString();
    EXPECT_EQ(ports->toolTip(), name);
    EXPECT_EQ(ports->itemData(i, Qt::ToolTipRole).toString(), name);
  }
  EXPECT_NE(shown[0], shown[1]);

  // The opened list is wide enough for its longest entry.
  ports->showPopup();
  const QFontMetrics metrics(ports->view()->font());
  EXPECT_GE(ports->view()->viewport()->width(), metrics.horizontalAdvance(ports->itemText(1)));
  ports->hidePopup();
}

TEST_F(SelectionDialogTest, EveryControlShowsTheEmbeddedFaceAt12Pixels) {
  lister_.Set({"COM1", "COM2"});
  auto dialog = MakeDialog();
  EmbeddedFont embedded;
  ASSERT_TRUE(embedded.LoadFromResource());
  const QString family = embedded.Family();

  std::vector<QWidget*> controls;
  for (QWidget* child : dialog->findChildren<QWidget*>()) controls.push_back(child);
  controls.push_back(dialog->ProductList()->view());
  controls.push_back(dialog->PortList()->view());
  for (QWidget* control : controls) {
    const QFontInfo info(control->font());
    EXPECT_EQ(info.family(), family) << control->metaObject()->className();
    EXPECT_EQ(info.pixelSize(), 12) << control->metaObject()->className();
    EXPECT_FALSE(info.bold()) << control->metaObject()->className();
  }

  // The form keeps its layout: every control inside the client area, none overlapping.
  const QRect client = dialog->rect();
  const std::vector<QWidget*> form = {dialog->ProductList(), dialog->PortList(),
                                      dialog->OkButton()};
  for (QWidget* control : form) EXPECT_TRUE(client.contains(control->geometry()));
  EXPECT_FALSE(dialog->PortList()->geometry().intersects(dialog->OkButton()->geometry()));
  EXPECT_FALSE(dialog->ProductList()->geometry().intersects(dialog->PortList()->geometry()));
}

TEST(EmbeddedFont, GivesTheFaceInBothStylesAndFallsBackForJapanese) {
  test::App();
  EmbeddedFont font;
  EXPECT_FALSE(font.MakeFont(12, EmbeddedFont::kRegular));  // nothing loaded yet
  ASSERT_TRUE(font.LoadFromResource());
  ASSERT_TRUE(font.LoadFromResource());  // a second load reuses the registration
  EXPECT_TRUE(QFontInfo(QFont(font.Family())).fixedPitch());

  const struct {
    int pixels;
    int style;
  } cases[] = {{12, EmbeddedFont::kRegular}, {14, EmbeddedFont::kBold}};
  for (const auto& c : cases) {
    ASSERT_TRUE(font.MakeFont(c.pixels, c.style));
    QLabel label;
    font.ApplyToControl(&label);
    const QFontInfo info(label.font());
    EXPECT_EQ(info.family(), font.Family());
    EXPECT_EQ(info.pixelSize(), c.pixels);
    EXPECT_EQ(info.bold(), c.style == EmbeddedFont::kBold);
  }

  // A Japanese label in the face is drawn with real glyphs of a fallback face.
  QLabel probe;
  QTextLayout layout(QStringLiteral("設定モード"), *font.MakeWindowFont(&probe));
  layout.beginLayout();
  layout.createLine();
  layout.endLayout();
  int glyphs = 0;
  for (const QGlyphRun& run : layout.glyphRuns()) {
    EXPECT_NE(run.rawFont().familyName(), font.Family());
    for (quint32 index : run.glyphIndexes()) {
      EXPECT_NE(index, 0u) << "missing glyph in " << run.rawFont().familyName().toStdString();
      ++glyphs;
    }
  }
  EXPECT_EQ(glyphs, 5);

  font.Release();
  EXPECT_FALSE(font.MakeWindowFont(nullptr));
  EXPECT_FALSE(font.MakeFont(12, EmbeddedFont::kRegular));
}

}  // namespace
}  // namespace setwright
