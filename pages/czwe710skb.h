// The settings page of model ZWE-710SKB.
#pragma once

#include "pages/page_dialog.h"

namespace setwright {

class CZWE710SKB : public CPageDialog {
 public:
  explicit CZWE710SKB(ISelectionDialog& selection, PageDeps deps = {});
  ~CZWE710SKB() override;
  // The page's form: controls, tab order and tool tips.
  static const PageDef& Definition();
};

}  // namespace setwright
