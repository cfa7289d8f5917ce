#include "shell/new_menu.h"
