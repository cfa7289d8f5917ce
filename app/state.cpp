#include "app/state.h"

bool SilentMode = false;
char LaunchFolder[1024] = "";
HICON AppIcon = nullptr;
HFONT BoldFont = nullptr;
