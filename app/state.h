#pragma once
#include <windows.h>

// Process-wide state of the driver.
extern bool SilentMode;
extern char LaunchFolder[1024];
extern HICON AppIcon;
extern HFONT BoldFont;
