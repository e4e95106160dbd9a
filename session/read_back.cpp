// The read-back parser: the banner, the product line and the model's dump lines, read from
// the start of RxBuffer at every tick until the dump is complete, refused or timed out.
// Every line is assumed to end in exactly one CR LF; positions are computed, not searched.
#include "session/patterns.h"
#include "session/session_impl.h"

namespace setwright {

namespace p = patterns;

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // lower-case digits are refused
}

}  // namespace

void Session::Impl::ReadBack() {
  const std::string_view rx = Rx();
  const FormState before = form;
  // Controls filled so far stay filled whatever the outcome.
  struct FormNotice {
    Impl& d;
    const FormState& before;
    ~FormNotice() {
      if (!(d.form == before)) d.NotifyFormChanged();
    }
  } notice{*this, before};

  auto wait = [&] { CheckReplyTimeout(); };
  auto giveUp = [&](const std::string& message) {
    Report(message, Colour::Red);
    ResetToIdle();
  };

  HasDelimiter = true;
  if (state == SessionState::AwaitProgramModeNewPort) {
    std::string_view first = rx.substr(0, rx.find('\r'));
    if (!first.empty() && p::IsBeginningOf(first, " ?")) {
      giveUp("PROGRAM MODE enter error!");
      return;
    }
  }

  auto banner = p::ReadBanner(rx);
  if (!banner) return wait();
  if (!p::IsProgramModeBanner(banner->text)) return giveUp("PROGRAM MODE read error!");
  std::size_t pos = banner->length;

  auto product = p::ReadLine(rx, pos);
  if (!product) return wait();
  auto word = p::FirstWord(*product);
  if (!word || !p::IsBeginningOf(*word, model.name)) {
    return ProductMismatch(word ? std::string(*word) : std::string());
  }
  CurrentSettings.product = std::string(*product);
  form.productText = CurrentSettings.product;
  pos += product->size() + 2;

  for (const DumpLine& item : model.dump) {
    switch (item.item) {
      case DumpItem::Identification: {
        auto id = p::ReadIdentification(rx, pos);
        if (!id) return wait();
        CurrentSettings.identification = std::string(*id);
        form.identificationText = CurrentSettings.identification;
        pos += id->size() + 4;  // "(", ")" and the line end
        break;
      }
      case DumpItem::IdentificationLine: {
        auto line = p::ReadLine(rx, pos);
        if (!line) return wait();
        CurrentSettings.identification = std::string(*line);
        form.identificationText = CurrentSettings.identification;
        pos += line->size() + 2;
        break;
      }
      case DumpItem::SkipIfDelimiter:
        if (!HasDelimiter) break;
        [[fallthrough]];
      case DumpItem::Skip: {
        auto line = p::ReadLine(rx, pos);
        if (!line) return wait();
        pos += line->size() + 2;
        break;
      }
      case DumpItem::Setting: {
        const ComboSetting* setting = model.FindSetting(item.key);
        auto line = p::ReadLine(rx, pos);
        if (!line) return wait();
        pos += line->size() + 2;
        p::KeyValue kv = p::SplitKeyValue(*line, item.key);
        int index = kv.result == 2 ? IndexOf(*setting, kv.value) : -1;
        if (index < 0) return giveUp(setting->readError);
        form.selected[item.key] = index;
        CurrentSettings.index[item.key] = index;
        break;
      }
      case DumpItem::Delimiter: {
        auto line = p::ReadLine(rx, pos);
        if (!line) return wait();
        p::KeyValue kv = p::SplitKeyValue(*line, "DEL");
        if (kv.result == 0) {
          HasDelimiter = false;  // no delimiter line: this one is read again as "LF"
          break;
        }
        pos += line->size() + 2;
        if (kv.result == 1) {
          CurrentSettings.delimiter = 0;
          form.delimiterText.clear();
          break;
        }
        if (kv.value.size() != 2 || HexDigit(kv.value[0]) < 0 || HexDigit(kv.value[1]) < 0)
          return giveUp("Get Delimiter error!");
        CurrentSettings.delimiter = HexDigit(kv.value[0]) * 16 + HexDigit(kv.value[1]);
        form.delimiterText = std::string(kv.value);
        break;
      }
      case DumpItem::Prompt: {
        auto line = p::ReadLine(rx, pos);
        if (!line) return wait();
        pos += line->size() + 2;
        p::KeyValue kv = p::SplitKeyValue(*line, "CMD");
        if (kv.result != 2 || kv.value.size() > 4) return giveUp("Get Command error!");
        CurrentSettings.prompt = std::string(kv.value);
        form.promptText = CurrentSettings.prompt;
        break;
      }
      case DumpItem::Interval: {
        auto line = p::ReadLine(rx, pos);
        if (!line) return wait();
        pos += line->size() + 2;
        p::KeyValue kv = p::SplitKeyValue(*line, "T1");
        std::optional<int> value = kv.result == 2 ? p::ReadDecimal(kv.value) : std::nullopt;
        if (!value || *value < model.intervalMin || *value > model.intervalMax)
          return giveUp("Get T1 error!");
        CurrentSettings.interval = *value;
        form.intervalText = std::string(kv.value);
        break;
      }
      case DumpItem::PairedSection: {
        // After the prompt line comes an empty line, then either nothing, " ?" (no host
        // paired) or two lines naming the paired host.
        const std::size_t start = pos + 2;
        std::string paired;
        if (rx.size() != start) {
          auto first = p::ReadLine(rx, start);
          if (!first) return wait();
          if (*first != " ?") {
            auto second = p::ReadLine(rx, start + first->size() + 2);
            if (!second) return wait();
            paired = std::string(*first) + "\r\n" + std::string(*second);
            if (paired.size() > p::kMaxField) paired.resize(p::kMaxField);
          }
        }
        CurrentSettings.paired = paired;
        form.pairedText = paired;
        break;
      }
    }
  }

  InProgramMode = true;
  Report(state == SessionState::AwaitDefaultDump ? "Set to default success!"
                                                 : "Enter PROGRAM MODE success!",
         Colour::Green);
  ResetToIdle();
}

void Session::Impl::ProductMismatch(const std::string& word) {
  ResetToIdle();
  const std::string text = "Product is " + word + ".\r\nPlease select the right product name!";
  const ModelTable* other = FindModel(word);
  if (ui) effects.push_back([ui = ui] { ui->StartTimer(7, 3000); });
  Report(text, Colour::Red);
  if (!ui) return;
  // The box blocks this thread (never under the lock) until answered or timer 7 confirms.
  effects.push_back([this, ui = ui, text, other] {
    if (ui->ShowMessageBox(text, model.name, MessageButtons::OkCancel) != MessageResult::Ok) return;
    if (!other) return;  // not one of the six models: nothing to switch to
    {
      // Stays set until the page has closed, so that the close sends ESC and leaves the
      // selection dialog open; the next opening clears it.
      std::lock_guard<std::mutex> lock(mutex);
      SwitchingProduct = true;
    }
    ui->SelectProduct(other->productIndex);
    ui->RequestClose();
  });
}

}  // namespace setwright
