#pragma once
#include <cstddef>

// The notice of the switch /warning: the uninstall is complete, and the
// program file (which could not delete itself) is to be deleted by hand.

// Composes the notice text into text (size bytes) and returns its caption,
// a GetMsgText result. False when the text had to be shortened.
bool BuildUninstallNotice(char* text, size_t size, const char** caption);

// Shows the notice in a message box.
void ShowUninstallNotice();
