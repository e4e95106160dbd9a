// The settings page of model KN-610K/PQ.
#pragma once

#include "pages/page_dialog.h"

namespace setwright {

class CKN610KPQ : public CPageDialog {
 public:
  explicit CKN610KPQ(ISelectionDialog& selection, PageDeps deps = {});
  ~CKN610KPQ() override;
  // The page's form: controls, tab order and tool tips.
  static const PageDef& Definition();
};

}  // namespace setwright
