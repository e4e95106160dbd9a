// The settings page of model MR-320KBS.
#pragma once

#include "pages/page_dialog.h"

namespace setwright {

class CMR320KBS : public CPageDialog {
 public:
  explicit CMR320KBS(ISelectionDialog& selection, PageDeps deps = {});
  ~CMR320KBS() override;
  // The page's form: controls, tab order and tool tips.
  static const PageDef& Definition();
};

}  // namespace setwright
