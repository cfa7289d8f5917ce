#pragma once
#include "registry/registry.h"
// The archiver's App Paths entry and the entry in the list of installed
// programs. Setup writes both; the uninstaller deletes their keys.

void RegisterAppPath();
void RegisterUninstallEntry();

// The archiver as an application with capabilities below HKEY_LOCAL_MACHINE,
// which "Default apps" lists on NT 6 and later: its name and description, and
// the name under "Software\RegisteredApplications". The association take-over
// writes one value per extension into FileAssociationsKey. Nothing is written
// on the 9x family or on NT before 6; the uninstaller deletes it all.
// All of it lies in CapabilitiesView, where the 64-bit shell reads it.
extern const char CapabilitiesKey[];
extern const char FileAssociationsKey[];
extern const char RegisteredApplicationsKey[];
extern const RegView CapabilitiesView;
void RegisterCapabilities();
