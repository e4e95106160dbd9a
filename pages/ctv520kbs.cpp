#include "pages/ctv520kbs.h"

namespace setwright {

namespace {
using K = ControlKind;
}  // namespace

const PageDef& CTV520KBS::Definition() {
  static const PageDef def{
      "TV-520KBS",
      290,
      257,
      {
          {2004, K::Button, 206, 206, 76, 14, "Save and Reset"},
          {2005, K::Button, 7, 206, 78, 14, "Enter Prog Mode"},
          {0, K::Label, 7, 17, 69, 8, "Product Version"},
          {2006, K::Edit, 87, 15, 195, 14, "", kReadOnly},
          {0, K::Label, 7, 37, 132, 8, "ビット/秒(B)", kAlignRight},
          {2019, K::Combo, 145, 34, 95, 30},
          {0, K::Label, 6, 54, 133, 8, "データビット(D)", kAlignRight},
          {2020, K::Combo, 145, 52, 95, 30},
          {0, K::Label, 6, 74, 133, 8, "ストップビット(S)", kAlignRight},
          {2003, K::Combo, 145, 71, 95, 30},
          {0, K::Label, 6, 92, 133, 8, "パリティ(P)", kAlignRight},
          {2009, K::Combo, 145, 90, 95, 30},
          {0, K::Label, 6, 111, 133, 8, "RTSフロー制御", kAlignRight},
          {2010, K::Combo, 145, 108, 95, 30},
          {0, K::Label, 6, 130, 133, 8, "Xon/Xoffフロー制御", kAlignRight},
          {2011, K::Combo, 145, 127, 95, 30},
          {0, K::Label, 6, 148, 133, 8, "Mode(1=PS2;2=ASCII;3=USB KEY)", kAlignRight},
          {2012, K::Combo, 145, 146, 95, 30},
          {0, K::Label, 6, 166, 133, 8, "LF Mask(1=No mask;2=Mask)", kAlignRight},
          {2013, K::Combo, 145, 165, 95, 30},
          {0, K::Label, 10, 188, 54, 8, "Interval Time"},
          {2022, K::Edit, 70, 185, 25, 14, "", kDigitsOnly | kUpperCase, 2},
          {0, K::Label, 98, 187, 184, 8, "Interval time for polling endpoint. [1-99ms]"},
          {2017, K::Button, 105, 206, 79, 14, "Set to Default"},
          {2024, K::MultiLineEdit, 7, 225, 275, 25, "", kReadOnly},
      },
      {},
      {
          {2019, "Select baudrate for TV-520KBS device."},
          {2020, "Select data bits for TV-520KBS device."},
          {2003, "Select stop bits for TV-520KBS device."},
          {2009, "Select parity bits. N:None;O:Odd;E:Even."},
          {2010, "RTS hardware flow control. E:Enable;D:Disable."},
          {2011, "XON/XOFF software flow control. E:Enable;D:Disable."},
          {2012, "Select mode. 1=PS2;2=ASCII;3=USB KEY."},
          {2013, "LF Mask. 1=No mask;2=Mask."},
      },
  };
  return def;
}

CTV520KBS::CTV520KBS(ISelectionDialog& selection, PageDeps deps)
    : CPageDialog(Definition(), selection, deps) {}

CTV520KBS::~CTV520KBS() {
  Shutdown();
}

}  // namespace setwright
