#include "pages/ckn610kpq.h"

namespace setwright {

namespace {
using K = ControlKind;
}  // namespace

const PageDef& CKN610KPQ::Definition() {
  static const PageDef def{
      "KN-610K/PQ",
      295,
      239,
      {
          {2004, K::Button, 211, 190, 76, 14, "Save and Reset"},
          {2005, K::Button, 7, 190, 78, 14, "Enter Prog Mode"},
          {3001, K::Label, 7, 17, 70, 8, "Product Version"},
          {2006, K::Edit, 83, 15, 204, 14, "", kReadOnly},
          {3002, K::Label, 7, 37, 133, 8, "ビット/秒(B)"},
          {2019, K::Combo, 146, 34, 95, 30},
          {3003, K::Label, 7, 53, 133, 8, "データビット(D)"},
          {2020, K::Combo, 146, 51, 95, 30},
          {3004, K::Label, 7, 72, 133, 8, "ストップビット(S)"},
          {2003, K::Combo, 146, 69, 95, 30},
          {3005, K::Label, 7, 88, 133, 8, "パリティ(P)"},
          {2009, K::Combo, 146, 86, 95, 30},
          {3006, K::Label, 7, 107, 133, 8, "RTSフロー制御"},
          {2010, K::Combo, 146, 104, 95, 30},
          {3007, K::Label, 7, 124, 133, 8, "Xon/Xoffフロー制御"},
          {2011, K::Combo, 146, 121, 95, 30},
          {3008, K::Label, 7, 141, 133, 8, "Mode(1=PS2;2=ASCII;3=USB KEY)"},
          {2012, K::Combo, 146, 139, 95, 30},
          {3009, K::Label, 7, 157, 133, 8, "LF Mask(1=No mask;2=Mask)"},
          {2013, K::Combo, 146, 156, 95, 30},
          {3010, K::Label, 7, 176, 59, 8, "Interval Time"},
          {2022, K::Edit, 69, 173, 25, 14, "", kDigitsOnly, 2},
          {3011, K::Label, 96, 176, 191, 8, "Interval time for polling endpoint. [1-99ms]"},
          {2017, K::Button, 107, 190, 79, 14, "Set to Default"},
          {2024, K::MultiLineEdit, 7, 207, 280, 25, "", kReadOnly},
      },
      {},
      {
          {2019, "Select baudrate for KN-610K/PQ device."},
          {2020, "Select data bits for KN-610K/PQ device."},
          {2003, "Select stop bits for KN-610K/PQ device."},
          {2009, "Select parity bits. N:None;O:Odd;E:Even."},
          {2010, "RTS hardware flow control. E:Enable;D:Disable."},
          {2011, "XON/XOFF software flow control. E:Enable;D:Disable."},
          {2012, "Select mode. 1=PS2;2=ASCII;3=USB KEY."},
          {2013, "LF Mask. 1=No mask;2=Mask."},
      },
  };
  return def;
}

CKN610KPQ::CKN610KPQ(ISelectionDialog& selection, PageDeps deps)
    : CPageDialog(Definition(), selection, deps) {}

CKN610KPQ::~CKN610KPQ() {
  Shutdown();
}

}  // namespace setwright
