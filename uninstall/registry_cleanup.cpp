#include "uninstall/registry_cleanup.h"

void CleanUpRegistry() {}
