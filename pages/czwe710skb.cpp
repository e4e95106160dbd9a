#include "pages/czwe710skb.h"

namespace setwright {

namespace {
using K = ControlKind;
}  // namespace

const PageDef& CZWE710SKB::Definition() {
  static const PageDef def{
      "ZWE-710SKB",
      277,
      305,
      {
          {0, K::Label, 7, 17, 63, 8, "Product Version"},
          {2006, K::Edit, 74, 15, 196, 14, "", kReadOnly},
          {0, K::Label, 7, 38, 132, 8, "ビット/秒(B)"},
          {2019, K::Combo, 145, 36, 93, 30},
          {0, K::Label, 7, 55, 132, 8, "データビット(D)"},
          {2020, K::Combo, 145, 54, 93, 30},
          {0, K::Label, 7, 74, 132, 8, "ストップビット(S)"},
          {2003, K::Combo, 145, 72, 93, 30},
          {0, K::Label, 7, 94, 132, 8, "パリティ(P)"},
          {2009, K::Combo, 145, 91, 93, 30},
          {0, K::Label, 7, 113, 132, 8, "RTSフロー制御"},
          {2010, K::Combo, 145, 110, 93, 30},
          {0, K::Label, 7, 131, 132, 8, "Xon/Xoffフロー制御"},
          {2011, K::Combo, 145, 128, 93, 30},
          {0, K::Label, 7, 149, 132, 8, "Mode(2=ASCII;3=USB KEY)"},
          {2012, K::Combo, 145, 146, 93, 30},
          {0, K::Label, 7, 167, 132, 8, "LF MASK(1=No mask;2=Mask)"},
          {2013, K::Combo, 145, 164, 93, 30},
          {0, K::Label, 7, 186, 132, 8, "COM Select(U=USB;R=RS232)"},
          {2015, K::Combo, 145, 183, 93, 30},
          {0, K::Label, 10, 206, 82, 8, "Delimiter Code(HEX) 0x"},
          {2014, K::Edit, 94, 205, 25, 14, "", kUpperCase | kHexOnly, 2},
          {0, K::Label, 124, 206, 125, 8, "[0x01-0x7F or Input Nothing]"},
          {2021, K::Label, 10, 220, 201, 8, "NOTE: LF=2/DEL=0A, CAN NOT SET AT THE SAME TIME",
           kRedText},
          {0, K::Label, 19, 235, 57, 8, "Command Prompt"},
          {2016, K::Edit, 93, 232, 53, 14, "", 0, 4},
          {0, K::Label, 151, 235, 72, 8, "[Max 4 bytes]"},
          {2005, K::Button, 7, 253, 78, 14, "Enter Prog Mode"},
          {2017, K::Button, 100, 253, 79, 14, "Set to Default"},
          {2004, K::Button, 194, 253, 76, 14, "Save and Reset"},
          {2024, K::MultiLineEdit, 7, 270, 263, 28, "", kReadOnly},
      },
      {2004, 2005, 2006, 2019, 2020, 2003, 2009, 2010, 2011, 2012, 2013, 2014, 2015, 2016, 2017,
       2024},
      {
          {2019, "Select baudrate for ZWE-710SKB device."},
          {2020, "Select data bits for ZWE-710SKB device."},
          {2003, "Select stop bits for ZWE-710SKB device."},
          {2009, "Select parity bits. N:None;O:Odd;E:Even."},
          {2010, "RTS hardware flow control. E:Enable;D:Disable."},
          {2011, "XON/XOFF software flow control. E:Enable;D:Disable."},
          {2012, "Select mode. 2=ASCII;3=USB KEY."},
          {2013, "LF Mask. 1=No mask;2=Mask."},
          {2015, "Select device output channel. U=USB COM;R=RS232 COM"},
      },
  };
  return def;
}

CZWE710SKB::CZWE710SKB(ISelectionDialog& selection, PageDeps deps)
    : CPageDialog(Definition(), selection, deps) {}

CZWE710SKB::~CZWE710SKB() {
  Shutdown();
}

}  // namespace setwright
