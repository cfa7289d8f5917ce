#pragma once
// One setup or uninstall of an installation at a time.

// Takes the lock of the installation that this program lies in and holds it
// until the process ends. False when another setup or uninstall of the same
// installation holds it. A lock that cannot be made at all does not stop
// the run.
bool TakeRunLock();
