#pragma once
// The setup choice and its storage below the product settings key.

#include "shell/setup_choice.h"

// Fills every flag from the settings key, with the defaults of a first run.
// ISO starts cleared whenever another program owns ".iso".
void LoadSetupOptions(SetupOptions& options);
// Stores every flag except ISO's, as 0 or 1.
void SaveSetupOptions(const SetupOptions& options);
