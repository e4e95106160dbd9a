#include "pages/page_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include "pages/page_fonts.h"
#include "serial/wire_trace.h"
#include "toolkit/dialog_units.h"
#include "toolkit/embedded_font.h"
#include "toolkit/resources.h"

namespace setwright {

namespace {

constexpr int kLogBoxId = 2024;
constexpr int kDelimiterId = 2014;
constexpr int kPromptId = 2016;
constexpr int kIntervalId = 2022;
constexpr int kLineFeedMaskId = 2013;

constexpr int kSaveAndResetId = 2004;
constexpr int kEnterProgModeId = 2005;
constexpr int kSetToDefaultId = 2017;
constexpr int kCleanPairedId = 2018;

// Pixels between an edit box's frame and its text.
constexpr int kEditTextMargin = 1;

// A disabled list shows what the device holds: its text is greyed, but kept dark enough
// to read on the control's face (over 4.5:1 even where a thin glyph is smoothed), not the
// toolkit's faint default that leaves it barely visible.
void ShowDisabledTextLegibly(QWidget& control) {
  const QColor text(0x48, 0x48, 0x48);
  QPalette p = control.palette();
  for (QPalette::ColorRole role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
    p.setColor(QPalette::Disabled, role, text);
  control.setPalette(p);
}

// Device text is 8-bit; every byte has a character of its own.
QString FromDevice(const std::string& s) {
  return QString::fromLatin1(s.data(), qsizetype(s.size()));
}
std::string ToDevice(const QString& s) {
  return s.toLatin1().toStdString();
}

// Messages carry "\r\n" for a line break.
QString ForDisplay(const std::string& s) {
  QString text = FromDevice(s);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

bool IsDecimalChar(QChar c) {
  return c >= u'0' && c <= u'9';
}

bool IsHexChar(QChar c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

// The engine's form fields behind the edit boxes.
std::string* FormText(FormState& form, int id) {
  switch (id) {
    case kDelimiterId:
      return &form.delimiterText;
    case kPromptId:
      return &form.promptText;
    case kIntervalId:
      return &form.intervalText;
    case 2006:
      return &form.productText;
    case 2007:
      return &form.identificationText;
    case 2008:
      return &form.pairedText;
    default:
      return nullptr;
  }
}

}  // namespace

struct CPageDialog::PendingBox {
  QString text;
  QString caption;
  MessageButtons buttons = MessageButtons::Ok;
  bool done = false;
  MessageResult result = MessageResult::Cancel;
};

QColor StatusColourOf(Colour colour) {
  switch (colour) {
    case Colour::Red:
      return QColor(255, 0, 0);
    case Colour::Green:
      return QColor(0, 128, 0);
    case Colour::Blue:
      break;
  }
  return QColor(0, 0, 255);
}

CPageDialog::CPageDialog(const PageDef& def, ISelectionDialog& selection, PageDeps deps)
    : QDialog(nullptr), model_(*FindModel(def.modelName)), def_(def), selection_(selection) {
  // With QT_LOGGING_RULES="setwright.wire.debug=true" the page's ports are traced.
  if (!deps.selectedPort) {
    ownSelectedPort_ = MakePort(QtLogWireTrace::IfEnabled());
    deps.selectedPort = ownSelectedPort_.get();
  }
  if (model_.family == Family::SerialToKeyboard && !deps.newPort) {
    ownNewPort_ = MakePort(QtLogWireTrace::IfEnabled());
    deps.newPort = ownNewPort_.get();
  }
  if (model_.family == Family::KeyboardToSerial) deps.newPort = nullptr;
  if (!deps.lister) deps.lister = &CSerialPortInfo::SystemLister();
  if (!deps.clock) deps.clock = &SystemClock();
  session_ = std::make_unique<Session>(model_, *deps.selectedPort, deps.newPort, *deps.lister,
                                       *deps.clock);
  session_->SetUi(this);

  setWindowTitle(QString::fromLatin1(model_.name) + QStringLiteral(" PROGRAM MODE"));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setSizeGripEnabled(false);
  setWindowIcon(AppIcon());

  for (int id = 1; id <= 7; ++id) {
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this, id] { session_->OnTimer(id); });
    timers_[id] = timer;
  }
  // The widgets are built when the page is first opened: the program makes all six pages
  // at start, and building them all before the selection dialog appears would delay it.
}

CPageDialog::~CPageDialog() {
  Shutdown();
}

void CPageDialog::Shutdown() {
  if (destroying_) return;
  // A page still open when the program ends closes its ports and stops its thread; the
  // selection dialog may be gone already, so it is left alone.
  destroying_ = true;
  StartClose();
  session_->SetUi(nullptr);
}

bool CPageDialog::OnUiThread() const {
  return QThread::currentThread() == thread();
}

template <typename F>
void CPageDialog::OnUi(F&& f) {
  if (OnUiThread())
    f();
  else
    QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::QueuedConnection);
}

void CPageDialog::EnsureForm() {
  if (formBuilt_) return;
  formBuilt_ = true;
  BuildForm();
}

void CPageDialog::BuildForm() {
  // The forms were drawn in their template face, a fixed-pitch face of 9 points (12
  // pixels) with characters 0.55 em wide and lines 1.17 em high: the form is laid out in its
  // units. The text is drawn in the embedded face, a little narrower, so every text of the
  // form has room to spare in its control.
  const QFont formFont = PageFont(12, false);
  const DialogUnits units = DialogUnits::OfFixedPitchFace(12, 0.55, 1.17);
  setFont(formFont);

  std::vector<QWidget*> formOrder;
  for (const ControlDef& c : def_.controls) {
    const QString text = QString::fromUtf8(c.text);
    QWidget* w = nullptr;
    switch (c.kind) {
      case ControlKind::Label: {
        auto* label = new QLabel(text, this);
        label->setAlignment(((c.flags & kAlignRight) ? Qt::AlignRight : Qt::AlignLeft) |
                            Qt::AlignVCenter);
        if (c.flags & kRedText) {
          QPalette p = label->palette();
          p.setColor(QPalette::WindowText, QColor(255, 0, 0));
          label->setPalette(p);
        }
        w = label;
        break;
      }
      case ControlKind::Edit: {
        auto* edit = new QLineEdit(this);
        edit->setReadOnly(c.flags & kReadOnly);
        if (c.maxLength > 0) edit->setMaxLength(c.maxLength);
        connect(edit, &QLineEdit::textChanged, this,
                [this, id = c.id, edit] { OnEditChanged(id, edit); });
        w = edit;
        break;
      }
      case ControlKind::MultiLineEdit: {
        auto* edit = new QPlainTextEdit(this);
        edit->setReadOnly(true);
        edit->setTabChangesFocus(true);
        // Long lines wrap, as in a multi-line edit box without horizontal scrolling.
        edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        // An edit box keeps its text a pixel from its frame; the wider default margin
        // would bring up a scroll bar for two lines that are both in view.
        edit->document()->setDocumentMargin(kEditTextMargin);
        if (c.id == kLogBoxId) logBox_ = edit;
        w = edit;
        break;
      }
      case ControlKind::Combo: {
        auto* combo = new QComboBox(this);
        combo->setEditable(false);
        connect(combo, &QComboBox::currentIndexChanged, this,
                [this, id = c.id](int index) { OnComboChanged(id, index); });
        w = combo;
        break;
      }
      case ControlKind::Button: {
        auto* button = new QPushButton(text, this);
        // Enter never presses a button: the page is not confirmed from the keyboard.
        button->setAutoDefault(false);
        button->setDefault(false);
        connect(button, &QPushButton::clicked, this, [this, id = c.id] {
          switch (id) {
            case kEnterProgModeId:
              session_->EnterProgMode();
              break;
            case kSaveAndResetId:
              session_->SaveAndReset();
              break;
            case kSetToDefaultId:
              session_->SetToDefault();
              break;
            case kCleanPairedId:
              session_->CleanPairedDevice();
              break;
            default:
              break;
          }
        });
        w = button;
        break;
      }
    }
    QRect r = units.ToPixels(c.x, c.y, c.width, c.height);
    if (c.kind == ControlKind::Combo) {
      // The form's height of a drop-down list is that of its opened list.
      r.setHeight(std::min(r.height(), w->sizeHint().height()));
    }
    w->setGeometry(r);
    if (c.flags & kDisabled) {
      w->setEnabled(false);
      ShowDisabledTextLegibly(*w);
    }
    if (c.id != 0) {
      w->setObjectName(QStringLiteral("ctl%1").arg(c.id));
      controls_[c.id] = w;
    }
    w->installEventFilter(this);
    if (w->focusPolicy() != Qt::NoFocus) formOrder.push_back(w);
  }

  std::vector<QWidget*> order;
  if (def_.tabOrder.empty()) {
    order = formOrder;
  } else {
    for (int id : def_.tabOrder)
      if (QWidget* w = FindControl(id)) order.push_back(w);
  }
  for (size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);

  for (const ComboSetting& s : model_.settings) comboKeys_[s.controlId] = s.key;
  for (const ToolTipDef& tip : def_.toolTips)
    if (QWidget* w = FindControl(tip.id)) w->setToolTip(QString::fromUtf8(tip.text));

  resize(units.X(def_.clientWidth), units.Y(def_.clientHeight));
  ApplyFonts();
}

void CPageDialog::ApplyFonts() {
  EmbeddedFont font;
  font.LoadFromResource();
  font.MakeFont(12, EmbeddedFont::kRegular);
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    font.ApplyToControl(child);
  // The log box is read from a distance: bold and larger.
  if (logBox_ && font.LoadFromResource() && font.MakeFont(14, EmbeddedFont::kBold))
    font.ApplyToControl(logBox_);
  font.Release();
}

QWidget* CPageDialog::Control(int id) {
  EnsureForm();
  return FindControl(id);
}

QWidget* CPageDialog::FindControl(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void CPageDialog::SetPort(const std::string& portName, int baudRate, int parity, int dataBits,
                          int stopBits) {
  session_->SetPortName(portName);
  session_->SetLineSettings(baudRate, parity, dataBits, stopBits);
}

void CPageDialog::FillLists() {
  refreshing_ = true;
  for (const ComboSetting& s : model_.settings) {
    auto* combo = qobject_cast<QComboBox*>(FindControl(s.controlId));
    if (!combo) continue;
    combo->clear();
    for (const std::string& v : s.values) combo->addItem(QString::fromLatin1(v));
    combo->setCurrentIndex(-1);
  }
  for (auto& [id, w] : controls_)
    if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->clear();
  // The interval box takes as many digits as the model's range has.
  if (auto* interval = qobject_cast<QLineEdit*>(FindControl(kIntervalId));
      interval && model_.intervalMaxChars > 0)
    interval->setMaxLength(model_.intervalMaxChars);
  refreshing_ = false;
}

void CPageDialog::InitPage() {
  EnsureForm();
  closing_ = false;
  checking_ = false;
  ApplyFonts();
  FillLists();
  if (logBox_) logBox_->clear();
  session_->Open();
  RefreshFromForm();
}

void CPageDialog::OpenPage() {
  InitPage();
  show();
}

void CPageDialog::RunModal() {
  // As a dialog initialises before it is first drawn, the engine starts before exec shows it.
  InitPage();
  exec();
}

void CPageDialog::RefreshFromForm() {
  const FormState form = session_->Form();
  refreshing_ = true;
  for (const auto& [id, key] : comboKeys_) {
    auto* combo = qobject_cast<QComboBox*>(FindControl(id));
    if (!combo) continue;
    auto it = form.selected.find(key);
    int index = it == form.selected.end() ? -1 : it->second;
    if (index >= combo->count()) index = -1;
    if (combo->currentIndex() != index) combo->setCurrentIndex(index);
  }
  FormState copy = form;
  for (auto& [id, w] : controls_) {
    const std::string* value = FormText(copy, id);
    if (!value) continue;
    const QString text = FromDevice(*value);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      if (edit->text() != text) edit->setText(text);
    } else if (auto* multi = qobject_cast<QPlainTextEdit*>(w)) {
      QString shown = text;
      shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
      if (multi->toPlainText() != shown) multi->setPlainText(shown);
    }
  }
  refreshing_ = false;
}

void CPageDialog::OnComboChanged(int id, int index) {
  if (refreshing_) return;
  auto it = comboKeys_.find(id);
  if (it == comboKeys_.end()) return;
  const std::string key = it->second;
  session_->EditForm([&](FormState& form) { form.selected[key] = index; });
  if (id == kLineFeedMaskId) {
    session_->OnLineFeedMaskChanged();
    RefreshFromForm();
  }
}

void CPageDialog::OnEditChanged(int id, QLineEdit* edit) {
  if (refreshing_) return;
  if ((FlagsOf(id) & kUpperCase) && edit->text() != edit->text().toUpper()) {
    // Letters are shown and kept in upper case, also when pasted.
    const int cursor = edit->cursorPosition();
    edit->setText(edit->text().toUpper());
    edit->setCursorPosition(cursor);
    return;  // setText comes back here with the upper-case text
  }
  const std::string text = ToDevice(edit->text());
  session_->EditForm([&](FormState& form) {
    if (std::string* field = FormText(form, id)) *field = text;
  });
}

unsigned CPageDialog::FlagsOf(int id) const {
  for (const ControlDef& c : def_.controls)
    if (c.id == id) return c.flags;
  return 0;
}

void CPageDialog::OnFocusLost(int id) {
  if (checking_ || closing_) return;
  std::optional<std::string> refusal;
  if (id == kDelimiterId)
    refusal = session_->CheckDelimiterOnFocusLost();
  else if (id == kPromptId)
    refusal = session_->CheckPromptOnFocusLost();
  else if (id == kIntervalId)
    refusal = session_->CheckIntervalOnFocusLost();
  else
    return;
  // The delimiter check may have changed the line-feed mask.
  RefreshFromForm();
  if (!refusal) return;
  // The box and the focus coming back move the focus out of other boxes: those moves are
  // not the user leaving them, so they are not checked.
  checking_ = true;
  RunBox(ForDisplay(*refusal), QString::fromLatin1(model_.name), MessageButtons::Ok);
  if (QWidget* w = FindControl(id)) w->setFocus(Qt::OtherFocusReason);
  checking_ = false;
}

bool CPageDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Escape)
      return true;
    auto* w = qobject_cast<QWidget*>(watched);
    const QString text = key->text();
    if (w && text.size() == 1 && text[0].isPrint()) {
      const int id =
          w->objectName().startsWith(QStringLiteral("ctl")) ? w->objectName().mid(3).toInt() : 0;
      const unsigned flags = FlagsOf(id);
      if ((flags & kHexOnly) && !IsHexChar(text[0])) return true;
      if ((flags & kDigitsOnly) && !IsDecimalChar(text[0])) return true;
    }
  } else if (event->type() == QEvent::FocusOut) {
    auto* focus = static_cast<QFocusEvent*>(event);
    // Leaving the window (another window, a list popping up) is not leaving the box.
    if (focus->reason() != Qt::ActiveWindowFocusReason && focus->reason() != Qt::PopupFocusReason) {
      auto* w = qobject_cast<QWidget*>(watched);
      if (w && w->objectName().startsWith(QStringLiteral("ctl"))) {
        const int id = w->objectName().mid(3).toInt();
        if (id == kDelimiterId || id == kPromptId || id == kIntervalId) {
          QMetaObject::invokeMethod(
              this, [this, id] { OnFocusLost(id); }, Qt::QueuedConnection);
        }
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

void CPageDialog::keyPressEvent(QKeyEvent* event) {
  // Enter and Esc neither confirm nor close the page.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
      event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void CPageDialog::reject() {
  if (closing_) {
    QDialog::reject();
    return;
  }
  StartClose();
}

void CPageDialog::StartClose() {
  if (closing_) return;
  closing_ = true;
  {
    // A box PollThread still waits for is answered with Cancel: the engine is closing.
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& p : pendingBoxes_) p->done = true;
    pendingBoxes_.clear();
  }
  boxAnswered_.notify_all();
  session_->Close();
  // The engine ends the modal run through ClosePage; make sure the page is gone.
  if (isVisible() && !destroying_) QDialog::done(QDialog::Rejected);
}

// ---- ISessionUi ----

void CPageDialog::Report(const std::string& text, Colour colour) {
  if (WireTrace* trace = QtLogWireTrace::IfEnabled()) {
    static const char* const kColours[] = {"blue", "red", "green"};
    trace->Event(session_->PortName(), std::string("report ") + kColours[static_cast<int>(colour)] +
                                           " " + EscapedText(text));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reportText_ = ForDisplay(text);
    reportColour_ = colour;
  }
  // The latest report wins, whichever thread made it and whenever it is shown.
  OnUi([this] { ApplyReport(); });
}

void CPageDialog::ApplyReport() {
  if (!logBox_) return;
  QString text;
  Colour colour;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    text = reportText_;
    colour = reportColour_;
  }
  QPalette p = logBox_->palette();
  p.setColor(QPalette::Text, StatusColourOf(colour));
  logBox_->setPalette(p);
  if (logBox_->toPlainText() != text) logBox_->setPlainText(text);
}

void CPageDialog::FormChanged() {
  OnUi([this] { RefreshFromForm(); });
}

MessageResult CPageDialog::RunBox(const QString& text, const QString& caption,
                                  MessageButtons buttons) {
  QMessageBox box(
      QMessageBox::Warning, caption, text,
      buttons == MessageButtons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
      this);
  box.setWindowModality(Qt::ApplicationModal);
  box.setFont(PageFont(12, false));
  boxes_.push_back(&box);
  ++openBoxes_;
  const int answer = box.exec();
  --openBoxes_;
  std::erase_if(boxes_, [&](const QPointer<QMessageBox>& b) { return b == &box || !b; });
  if (buttons == MessageButtons::Ok) return MessageResult::Ok;
  return answer == QMessageBox::Ok ? MessageResult::Ok : MessageResult::Cancel;
}

MessageResult CPageDialog::ShowMessageBox(const std::string& text, const std::string& caption,
                                          MessageButtons buttons) {
  if (OnUiThread()) return RunBox(ForDisplay(text), FromDevice(caption), buttons);

  auto pending = std::make_shared<PendingBox>();
  pending->text = ForDisplay(text);
  pending->caption = FromDevice(caption);
  pending->buttons = buttons;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) return MessageResult::Cancel;
    pendingBoxes_.push_back(pending);
  }
  QMetaObject::invokeMethod(
      this,
      [this, pending] {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          if (pending->done) return;  // the page closed first
        }
        const MessageResult r = RunBox(pending->text, pending->caption, pending->buttons);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          if (!pending->done) pending->result = r;
          pending->done = true;
          std::erase(pendingBoxes_, pending);
        }
        boxAnswered_.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock<std::mutex> lock(mutex_);
  boxAnswered_.wait(lock, [&] { return pending->done; });
  return pending->result;
}

bool CPageDialog::IsMessageBoxOpen() {
  return openBoxes_.load() > 0;
}

void CPageDialog::AnswerMessageBox(bool pressOk) {
  OnUi([this, pressOk] {
    while (!boxes_.empty() && !boxes_.back()) boxes_.pop_back();
    if (boxes_.empty()) return;
    QMessageBox* box = boxes_.back();
    if (pressOk) {
      if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->click();
    } else {
      box->reject();
    }
  });
}

void CPageDialog::StartTimer(int id, int ms) {
  OnUi([this, id, ms] {
    auto it = timers_.find(id);
    if (it != timers_.end()) it->second->start(ms);
  });
}

void CPageDialog::StopTimer(int id) {
  OnUi([this, id] {
    auto it = timers_.find(id);
    if (it != timers_.end()) it->second->stop();
  });
}

void CPageDialog::ClosePage() {
  OnUi([this] {
    closing_ = true;
    for (auto& [id, timer] : timers_) timer->stop();
    QDialog::done(QDialog::Rejected);
  });
}

void CPageDialog::RequestClose() {
  QMetaObject::invokeMethod(
      this, [this] { StartClose(); }, Qt::QueuedConnection);
}

void CPageDialog::SelectProduct(int productIndex) {
  OnUi([this, productIndex] { selection_.SelectProduct(productIndex); });
}

void CPageDialog::CloseSelectionDialog() {
  if (destroying_) return;
  OnUi([this] { selection_.CloseDialog(); });
}

}  // namespace setwright
