#include "pages/czwe720wkb.h"

namespace setwright {

namespace {
using K = ControlKind;
}  // namespace

const PageDef& CZWE720WKB::Definition() {
  // The serial line settings are shown, never changed: their lists stay disabled.
  static const PageDef def{
      "ZWE-720W/KB",
      288,
      203,
      {
          {0, K::Label, 7, 16, 56, 8, "Product Version"},
          {2006, K::Edit, 68, 15, 213, 14, "", kReadOnly},
          {0, K::Label, 12, 34, 51, 8, "MAC Adress"},
          {2007, K::Edit, 68, 31, 213, 14, "", kReadOnly},
          {0, K::Label, 25, 54, 83, 8, "ビット/秒(B)", kAlignRight},
          {2019, K::Combo, 114, 52, 96, 30, "", kDisabled},
          {0, K::Label, 25, 74, 83, 8, "データビット(D)", kAlignRight},
          {2020, K::Combo, 114, 71, 96, 30, "", kDisabled},
          {0, K::Label, 25, 92, 83, 8, "ストップビット(S)", kAlignRight},
          {2003, K::Combo, 114, 90, 96, 30, "", kDisabled},
          {0, K::Label, 25, 111, 83, 8, "パリティ(P)", kAlignRight},
          {2009, K::Combo, 114, 109, 96, 30, "", kDisabled},
          {0, K::Label, 7, 133, 73, 8, "Command Prompt"},
          {2016, K::Edit, 93, 130, 53, 14, "", 0, 4},
          {0, K::Label, 153, 133, 70, 8, "[Max 4 bytes]"},
          {2005, K::Button, 7, 152, 78, 14, "Enter Prog Mode"},
          {2017, K::Button, 105, 152, 79, 14, "Set to Default"},
          {2004, K::Button, 205, 152, 76, 14, "Save and Reset"},
          {2024, K::MultiLineEdit, 7, 169, 274, 27, "", kReadOnly},
      },
      {2004, 2005, 2006, 2007, 2016, 2017, 2024},
      {
          {2019, "Select baudrate for ZWE-720W/KB device."},
          {2020, "Select data bits for ZWE-720W/KB device."},
          {2003, "Select stop bits for ZWE-720W/KB device."},
          {2009, "Select parity bits. N:None;O:Odd;E:Even."},
      },
  };
  return def;
}

CZWE720WKB::CZWE720WKB(ISelectionDialog& selection, PageDeps deps)
    : CPageDialog(Definition(), selection, deps) {}

CZWE720WKB::~CZWE720WKB() {
  Shutdown();
}

}  // namespace setwright
