#include "shell/app_registration.h"
