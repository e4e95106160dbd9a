// The settings page of model ZWE-720W/KB.
#pragma once

#include "pages/page_dialog.h"

namespace setwright {

class CZWE720WKB : public CPageDialog {
 public:
  explicit CZWE720WKB(ISelectionDialog& selection, PageDeps deps = {});
  ~CZWE720WKB() override;
  // The page's form: controls, tab order and tool tips.
  static const PageDef& Definition();
};

}  // namespace setwright
