#include "pages/cmr310skb.h"

namespace setwright {

namespace {
using K = ControlKind;
}  // namespace

const PageDef& CMR310SKB::Definition() {
  static const PageDef def{
      "MR-310SKB",
      284,
      351,
      {
          {0, K::Label, 7, 16, 56, 8, "Product Version", kAlignRight},
          {2006, K::Edit, 70, 15, 207, 14, "", kReadOnly},
          {0, K::Label, 12, 34, 51, 8, "MAC Adress", kAlignRight},
          {2007, K::Edit, 70, 31, 207, 14, "", kReadOnly},
          {0, K::Label, 8, 53, 55, 8, "Paired Device", kAlignRight},
          {2008, K::MultiLineEdit, 70, 47, 207, 21, "", kReadOnly},
          {0, K::Label, 20, 73, 122, 8, "ビット/秒(B)", kAlignRight},
          {2019, K::Combo, 147, 71, 79, 30},
          {0, K::Label, 20, 90, 122, 8, "データビット(D)", kAlignRight},
          {2020, K::Combo, 147, 88, 79, 30},
          {0, K::Label, 20, 107, 122, 8, "ストップビット(S)", kAlignRight},
          {2003, K::Combo, 147, 105, 79, 30},
          {0, K::Label, 20, 125, 122, 8, "パリティ(P)", kAlignRight},
          {2009, K::Combo, 147, 123, 79, 30},
          {0, K::Label, 20, 143, 122, 8, "RTSフロー制御", kAlignRight},
          {2010, K::Combo, 147, 141, 79, 30},
          {0, K::Label, 20, 162, 122, 8, "Xon/Xoffフロー制御", kAlignRight},
          {2011, K::Combo, 147, 159, 79, 30},
          {0, K::Label, 20, 179, 122, 8, "Mode(2=ASCII;3=USB KEY)", kAlignRight},
          {2012, K::Combo, 147, 177, 79, 30},
          {0, K::Label, 19, 198, 123, 8, "LF MASK(1=No mask;2=Mask)", kAlignRight},
          {2013, K::Combo, 147, 196, 79, 30},
          {0, K::Label, 20, 218, 122, 8, "COM Select(U=USB;R=RS232)", kAlignRight},
          {2015, K::Combo, 147, 215, 79, 30},
          {0, K::Label, 27, 235, 81, 8, "Delimiter Code(HEX) 0x"},
          {2014, K::Edit, 109, 232, 25, 14, "", kUpperCase | kHexOnly, 2},
          {0, K::Label, 140, 235, 112, 8, "[0x01-0x7F or Input Nothing]"},
          {2021, K::Label, 27, 249, 204, 8, "NOTE: LF=2/DEL=0A, CAN NOT SET AT THE SAME TIME",
           kRedText},
          {0, K::Label, 14, 262, 69, 8, "Command Prompt"},
          {2016, K::Edit, 93, 259, 53, 14, "", 0, 4},
          {0, K::Label, 151, 262, 66, 8, "[Max 4 bytes]"},
          {2005, K::Button, 7, 275, 78, 14, "Enter Prog Mode"},
          {2017, K::Button, 7, 296, 79, 14, "Set to Default"},
          {2018, K::Button, 104, 296, 79, 14, "Clean Paired Device"},
          {2004, K::Button, 201, 296, 76, 14, "Save and Reset"},
          {2024, K::MultiLineEdit, 7, 315, 270, 29, "", kReadOnly},
      },
      {},
      {
          {2019, "Select baudrate for MR-310SKB device."},
          {2020, "Select data bits for MR-310SKB device."},
          {2003, "Select stop bits for MR-310SKB device."},
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

CMR310SKB::CMR310SKB(ISelectionDialog& selection, PageDeps deps)
    : CPageDialog(Definition(), selection, deps) {}

CMR310SKB::~CMR310SKB() {
  Shutdown();
}

}  // namespace setwright
