// The settings page of model TV-520KBS.
#pragma once

#include "pages/page_dialog.h"

namespace setwright {

class CTV520KBS : public CPageDialog {
 public:
  explicit CTV520KBS(ISelectionDialog& selection, PageDeps deps = {});
  ~CTV520KBS() override;
  // The page's form: controls, tab order and tool tips.
  static const PageDef& Definition();
};

}  // namespace setwright
