#pragma once
// The archiver's App Paths entry and the entry in the list of installed
// programs. Setup writes both; the uninstaller deletes their keys.

void RegisterAppPath();
void RegisterUninstallEntry();
