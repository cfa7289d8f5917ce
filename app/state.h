#pragma once
#include <windows.h>

// Process-wide state of the driver.
extern bool SilentMode;          // the silent switch: dialogs confirm or close themselves
extern char LaunchFolder[1024];  // program-group folder made by setup, opened at the end
extern HICON AppIcon;            // "KEXICON" from the language module
extern HFONT BoldFont;           // the completion dialog's thank-you line
