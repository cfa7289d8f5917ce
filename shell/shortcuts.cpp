#include "shell/shortcuts.h"
