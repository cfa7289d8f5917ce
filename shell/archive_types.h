#pragma once
// The archiver's file types and the archive extensions it takes over, each
// with its previous owner saved below the product settings key so that it
// can be given back.
#include "shell/setup_choice.h"

// One row per archive type, in the order of SetupOptions::Assoc: one or more
// extensions written one after another, the primary extension first.
extern const char* const ArchiveExtensionTable[ArchiveTypeCount];

// Takes over the extensions of every row whose flag is set and gives back
// those of every other row. An all-false record gives everything back.
void UpdateAssociations(const SetupOptions& options);

// True when the extension's key under HKEY_CLASSES_ROOT names "Zobrix" or
// "Zobrix.ZIP" as its file type, letter case ignored.
bool IsOwnFileType(const char* extension);

// The three file types, ".rev", then a shell notification.
void RegisterFileTypes();
