// The dialog every settings page is made of. A page is a table of controls over the session
// engine: the dialog builds its widgets from the table, keeps them in step with the
// engine's form state, shows the engine's reports and message boxes, runs its timers and
// applies the input rules of the edit boxes. The engine does all protocol work.
//
// Threads: the widgets live on the user-interface thread. Report, FormChanged, the
// timers, ClosePage, RequestClose and the selection-dialog calls may come from PollThread
// and are handed to the user-interface thread; ShowMessageBox from PollThread waits there
// until the box shown on the user-interface thread is answered, or the page closes.
#pragma once

#include <QDialog>
#include <QPointer>
#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "serial/serial_port.h"
#include "serial/serial_port_info.h"
#include "session/model_table.h"
#include "session/session.h"
#include "session/session_ui.h"
#include "toolkit/product_page.h"

class QComboBox;
class QLineEdit;
class QMessageBox;
class QPlainTextEdit;
class QTimer;

namespace setwright {

enum class ControlKind { Label, Edit, MultiLineEdit, Combo, Button };

// Control flags of a page table.
enum ControlFlag : unsigned {
  kAlignRight = 1u << 0,  // right-aligned label
  kReadOnly = 1u << 1,
  kUpperCase = 1u << 2,  // the box turns letters into upper case
  kDisabled = 1u << 3,
  kRedText = 1u << 4,
  kHexOnly = 1u << 5,     // typed characters other than 0-9, A-F, a-f are dropped
  kDigitsOnly = 1u << 6,  // typed characters other than 0-9 are dropped
};

// One control of a page, as the form describes it: geometry in dialog units.
struct ControlDef {
  int id = 0;  // 0 for labels nothing refers to
  ControlKind kind = ControlKind::Label;
  int x = 0, y = 0, width = 0, height = 0;
  const char* text = "";  // UTF-8
  unsigned flags = 0;
  int maxLength = 0;  // edit boxes; 0 = no limit
};

struct ToolTipDef {
  int id = 0;
  const char* text = "";
};

// Everything a page adds to the shared dialog.
struct PageDef {
  const char* modelName = "";
  int clientWidth = 0, clientHeight = 0;  // dialog units
  std::vector<ControlDef> controls;       // in the form's order
  std::vector<int> tabOrder;              // ids; empty = the form's order
  std::vector<ToolTipDef> toolTips;
};

// What a page talks through; the defaults are the machine's own ports, listing and clock.
struct PageDeps {
  ISerialPort* selectedPort = nullptr;
  ISerialPort* newPort = nullptr;  // serial-to-keyboard pages only
  IPortLister* lister = nullptr;
  IClock* clock = nullptr;
};

class CPageDialog : public QDialog, public ISessionUi, public IProductPage {
  Q_OBJECT

 public:
  CPageDialog(const PageDef& def, ISelectionDialog& selection, PageDeps deps = {});
  ~CPageDialog() override;

  // IProductPage
  void SetPort(const std::string& portName, int baudRate, int parity, int dataBits,
               int stopBits) override;
  void RunModal() override;

  // Opens and shows the page without a modal run (fonts, lists, engine), for tools and
  // tests that drive the page themselves.
  void OpenPage();

  const ModelTable& Model() const { return model_; }
  const PageDef& Definition() const { return def_; }
  Session& GetSession() { return *session_; }
  // The widget of a control id (nullptr when the page has none); builds the form first.
  QWidget* Control(int id);
  // Builds the page's widgets if that has not been done: the first opening does it, and
  // tools and tests that look at the form before may call it.
  void EnsureForm();

  // ISessionUi
  void Report(const std::string& text, Colour colour) override;
  void FormChanged() override;
  MessageResult ShowMessageBox(const std::string& text, const std::string& caption,
                               MessageButtons buttons) override;
  bool IsMessageBoxOpen() override;
  void AnswerMessageBox(bool pressOk) override;
  void StartTimer(int id, int ms) override;
  void StopTimer(int id) override;
  void ClosePage() override;
  void RequestClose() override;
  void SelectProduct(int productIndex) override;
  void CloseSelectionDialog() override;

 public slots:
  // The close box: runs the engine's page closing.
  void reject() override;

 protected:
  // Closes an open page and detaches it from its engine. A page class calls it first in its
  // destructor, so that the poll thread has stopped before the page object starts to go.
  void Shutdown();

  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct PendingBox;

  void BuildForm();
  QWidget* FindControl(int id) const;
  void InitPage();
  void ApplyFonts();
  void FillLists();
  void RefreshFromForm();
  void ApplyReport();
  void StartClose();
  void OnComboChanged(int id, int index);
  void OnEditChanged(int id, QLineEdit* edit);
  void OnFocusLost(int id);
  MessageResult RunBox(const QString& text, const QString& caption, MessageButtons buttons);
  bool OnUiThread() const;
  unsigned FlagsOf(int id) const;  // of the control in the page's table
  template <typename F>
  void OnUi(F&& f);

  const ModelTable& model_;
  PageDef def_;
  ISelectionDialog& selection_;
  std::unique_ptr<ISerialPort> ownSelectedPort_;
  std::unique_ptr<ISerialPort> ownNewPort_;
  std::unique_ptr<Session> session_;

  std::map<int, QWidget*> controls_;
  std::map<int, std::string> comboKeys_;  // control id -> setting key
  QPlainTextEdit* logBox_ = nullptr;
  std::map<int, QTimer*> timers_;

  bool formBuilt_ = false;
  bool refreshing_ = false;  // widgets are being set from the form state
  bool checking_ = false;    // a focus-loss check is showing its box
  std::atomic<bool> closing_{false};
  bool destroying_ = false;
  std::atomic<int> openBoxes_{0};
  std::vector<QPointer<QMessageBox>> boxes_;  // user-interface thread only

  std::mutex mutex_;  // guards the fields below
  std::condition_variable boxAnswered_;
  std::vector<std::shared_ptr<PendingBox>> pendingBoxes_;
  QString reportText_;
  Colour reportColour_ = Colour::Blue;
};

// Colours of the log box.
QColor StatusColourOf(Colour colour);

}  // namespace setwright
