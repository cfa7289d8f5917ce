#pragma once
// The setup choice as the shell-integration operations take it.

// Archive types in the order of the setup dialog's check boxes.
const int ArchiveTypeCount = 12;
const int IsoTypeIndex = 11;

// One-byte flags. A record with every flag false makes the shell-integration
// steps remove what they would otherwise create.
struct SetupOptions {
  bool Assoc[ArchiveTypeCount];  // .kex .zip .cab .arj .lzh .ace .tar .gz .uue .bz2 .jar .iso
  bool Desktop;
  bool StartMenu;
  bool Programs;
  bool ShellExt;
  bool CascadedMenu;
  bool MenuIcons;
};
static_assert(sizeof(SetupOptions) == ArchiveTypeCount + 6, "one byte per flag");
