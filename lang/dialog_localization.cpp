#include "lang/dialog_localization.h"

// Nothing to translate or mirror until the language file's dialog texts are
// read; the dialogs already call these at the right moments.
void LocalizeDialog(HWND, const char*) {}

void SetRtlLayout(HWND) {}
