#pragma once
// The switch scan of the command line. No <windows.h> here.

// What a switch word means; the first matching row wins.
enum class SwitchWord {
  Setup,    // begins with "setup"
  Silent,   // "s" not followed by a letter
  Wait,     // begins with "wait"
  Warning,  // begins with "warning"
  Restart,  // begins with "restart"
  Other,    // anything else, an empty word included
};

// Meaning of the word that starts at word (the text after "/" or "-");
// compared case-insensitively over the letters each row names.
SwitchWord ClassifySwitch(const char* word);

// The word after the first "/" or "-" at or after position; null when there
// is none. The word itself is searched again for further switches.
const char* NextSwitch(const char* position);

struct SwitchScan {
  bool Setup = false;  // setup mode was asked for
  bool Silent = false;
  int Counted = 0;     // switches other than the silent one
};

// Called for every switch in command-line order, so that the service
// switches act at their place in the scan.
typedef void (*SwitchAction)(SwitchWord word, void* context);

// Scans the command-line tail; action may be null.
SwitchScan ScanSwitches(const char* tail, SwitchAction action, void* context);
