#pragma once
// The dialogs' control ids as fixed numbers: language files and the help
// file rely on them, so tests write them out instead of taking the program's
// header. The resource test holds them against the built program.
namespace ids {

// "SETUPDLG"; 5101..5112 are the archive types .kex .zip .cab .arj .lzh .ace
// .tar .gz .uue .bz2 .jar .iso; Help (9) is also that of "CONTEXTITEMS"
const int kAssocFirst = 5101, kAssocIso = 5112, kDesktop = 5113, kStartMenu = 5114, kPrograms = 5115;
const int kShellExt = 5116, kCascadedMenu = 5117, kMenuIcons = 5118, kSelectAll = 5119, kSetupText = 5120;
const int kContextItems = 5121, kHelp = 9;
// "CONTEXTITEMS": one check box per command, 101..111
const int kItemFirst = 101, kItemLast = 111;
// "DONEDLG"
const int kInstallFolder = 5101, kRunArchiver = 5102, kReadHelp = 5103, kViewLicense = 5104;
const int kPriceList = 5105, kHomePage = 5106, kThanks = 5107, kInfoFirst = 5108, kInfoSecond = 5109;

}  // namespace ids
