// The settings page of model MR-310SKB.
#pragma once

#include "pages/page_dialog.h"

namespace setwright {

class CMR310SKB : public CPageDialog {
 public:
  explicit CMR310SKB(ISelectionDialog& selection, PageDeps deps = {});
  ~CMR310SKB() override;
  // The page's form: controls, tab order and tool tips.
  static const PageDef& Definition();
};

}  // namespace setwright
