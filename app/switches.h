#pragma once
// The switch scan of the command line. No <windows.h> here.
#include <cstddef>

// What a switch word means; the first matching row wins.
enum class SwitchWord {
  Setup,    // begins with "setup"
  Silent,   // "s" not followed by a letter
  Wait,     // begins with "wait"
  Warning,  // begins with "warning"
  Restart,  // begins with "restart"
  Log,      // begins with "log=": the log file's name follows, see LogSwitchName
  Other,    // anything else, an empty word included
};

// Meaning of the word that starts at word (the text after "/" or "-");
// compared case-insensitively over the letters each row names.
SwitchWord ClassifySwitch(const char* word);

// The word after the first "/" or "-" at or after position; null when there
// is none. The word itself is searched again for further switches.
const char* NextSwitch(const char* position);

// The file name of a switch that begins with "log=" at word: when a double
// quote follows "log=", the text up to the next double quote (or the end);
// otherwise the text up to the next blank or tab (or the end). Next is where
// the scan goes on: after the closing quote, or at the blank. A "/" or "-"
// inside the name is part of it, not a switch.
struct SwitchName {
  const char* Text;
  size_t Length;
  const char* Next;
};
SwitchName LogSwitchName(const char* word);

struct SwitchScan {
  bool Setup = false;  // setup mode was asked for
  bool Silent = false;
  int Counted = 0;     // switches other than the silent and the log one
};

// Called for every switch in command-line order, so that the service
// switches act at their place in the scan; text is the word.
typedef void (*SwitchAction)(SwitchWord word, const char* text, void* context);

// Scans the command-line tail; action may be null.
SwitchScan ScanSwitches(const char* tail, SwitchAction action, void* context);
