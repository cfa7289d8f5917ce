#include "shell/shell_extension.h"
