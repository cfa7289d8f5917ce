#pragma once
// The dialogs' control ids as fixed numbers: language files and the help
// file rely on them, so tests write them out here instead of taking them from
// the program's own header. The resource test holds them against the built
// program's dialog templates.
namespace ids {

// "SETUPDLG"
const int kAssocFirst = 5101;  // 5101..5112: .kex .zip .cab .arj .lzh .ace .tar .gz .uue .bz2 .jar .iso
const int kAssocIso = 5112;
const int kDesktop = 5113;
const int kStartMenu = 5114;
const int kPrograms = 5115;
const int kShellExt = 5116;
const int kCascadedMenu = 5117;
const int kMenuIcons = 5118;
const int kSelectAll = 5119;
const int kSetupText = 5120;
const int kContextItems = 5121;
const int kHelp = 9;  // the Help button of "SETUPDLG" and "CONTEXTITEMS"

// "CONTEXTITEMS": one check box per command, 101..111
const int kItemFirst = 101;
const int kItemLast = 111;

// "DONEDLG"
const int kInstallFolder = 5101;
const int kRunArchiver = 5102;
const int kReadHelp = 5103;
const int kViewLicense = 5104;
const int kPriceList = 5105;
const int kHomePage = 5106;
const int kThanks = 5107;
const int kInfoFirst = 5108;
const int kInfoSecond = 5109;

}  // namespace ids
