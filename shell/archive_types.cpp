#include "shell/archive_types.h"
