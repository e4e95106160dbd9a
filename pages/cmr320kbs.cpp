#include "pages/cmr320kbs.h"

namespace setwright {

namespace {
using K = ControlKind;
}  // namespace

const PageDef& CMR320KBS::Definition() {
  static const PageDef def{
      "MR-320KBS",
      288,
      273,
      {
          {2004, K::Button, 204, 221, 76, 14, "Save and Reset"},
          {2005, K::Button, 7, 221, 78, 14, "Enter Prog Mode"},
          {0, K::Label, 7, 17, 72, 8, "Product Version", kAlignRight},
          {2006, K::Edit, 87, 15, 193, 14, "", kReadOnly},
          {0, K::Label, 7, 34, 72, 8, "MAC Adress", kAlignRight},
          {2007, K::Edit, 87, 31, 193, 14, "", kReadOnly},
          {0, K::Label, 7, 53, 130, 8, "ビット/秒(B)", kAlignRight},
          {2019, K::Combo, 142, 50, 95, 30},
          {0, K::Label, 7, 69, 130, 8, "データビット(D)", kAlignRight},
          {2020, K::Combo, 142, 67, 95, 30},
          {0, K::Label, 7, 88, 130, 8, "ストップビット(S)", kAlignRight},
          {2003, K::Combo, 142, 85, 95, 30},
          {0, K::Label, 7, 105, 130, 8, "パリティ(P)", kAlignRight},
          {2009, K::Combo, 142, 103, 95, 30},
          {0, K::Label, 7, 124, 130, 8, "RTSフロー制御", kAlignRight},
          {2010, K::Combo, 142, 121, 95, 30},
          {0, K::Label, 7, 142, 130, 8, "Xon/Xoffフロー制御", kAlignRight},
          {2011, K::Combo, 142, 139, 95, 30},
          {0, K::Label, 7, 159, 130, 8, "Mode(1=PS2;2=ASCII;3=USB KEY)", kAlignRight},
          {2012, K::Combo, 142, 157, 95, 30},
          {0, K::Label, 6, 176, 131, 8, "LF Mask(1=No mask;2=Mask)", kAlignRight},
          {2013, K::Combo, 142, 175, 95, 30},
          {0, K::Label, 7, 203, 57, 8, "Interval Time"},
          {2022, K::Edit, 67, 200, 25, 14, "", kDigitsOnly | kUpperCase, 3},
          {0, K::Label, 93, 203, 187, 8, "Interval time for polling endpoint. [10-300ms]"},
          {2017, K::Button, 105, 221, 79, 14, "Set to Default"},
          {2024, K::MultiLineEdit, 7, 240, 273, 26, "", kReadOnly},
      },
      {},
      {
          {2019, "Select baudrate for MR-320KBS device."},
          {2020, "Select data bits for MR-320KBS device."},
          {2003, "Select stop bits for MR-320KBS device."},
          {2009, "Select parity bits. N:None;O:Odd;E:Even."},
          {2010, "RTS hardware flow control. E:Enable;D:Disable."},
          {2011, "XON/XOFF software flow control. E:Enable;D:Disable."},
          {2012, "Select mode. 1=PS2;2=ASCII;3=USB KEY."},
          {2013, "LF Mask. 1=No mask;2=Mask."},
      },
  };
  return def;
}

CMR320KBS::CMR320KBS(ISelectionDialog& selection, PageDeps deps)
    : CPageDialog(Definition(), selection, deps) {}

CMR320KBS::~CMR320KBS() {
  Shutdown();
}

}  // namespace setwright
