#include "app/switches.h"

#include <cstring>

namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// True when text begins with the lowercase word, in any case.
bool BeginsWith(const char* text, const char* word) {
  for (; *word; ++text, ++word)
    if (AsciiLower(*text) != *word) return false;  // also stops at text's NUL
  return true;
}

}  // namespace

SwitchWord ClassifySwitch(const char* word) {
  if (BeginsWith(word, "setup")) return SwitchWord::Setup;
  if ((word[0] == 's' || word[0] == 'S') && !IsAsciiLetter(word[1])) return SwitchWord::Silent;
  if (BeginsWith(word, "wait")) return SwitchWord::Wait;
  if (BeginsWith(word, "warning")) return SwitchWord::Warning;
  if (BeginsWith(word, "restart")) return SwitchWord::Restart;
  if (BeginsWith(word, "log=")) return SwitchWord::Log;
  return SwitchWord::Other;
}

const char* NextSwitch(const char* position) {
  const char* found = std::strpbrk(position, "/-");
  return found ? found + 1 : nullptr;
}

SwitchName LogSwitchName(const char* word) {
  const char* start = word + 4;  // after "log="
  const bool quoted = *start == '"';
  if (quoted) ++start;
  const char* end = start;
  while (*end != '\0' && (quoted ? *end != '"' : *end != ' ' && *end != '\t')) ++end;
  return {start, static_cast<size_t>(end - start), quoted && *end == '"' ? end + 1 : end};
}

SwitchScan ScanSwitches(const char* tail, SwitchAction action, void* context) {
  SwitchScan scan;
  for (const char* word = NextSwitch(tail); word;) {
    SwitchWord kind = ClassifySwitch(word);
    if (kind == SwitchWord::Silent) {
      scan.Silent = true;
    } else if (kind != SwitchWord::Log) {
      ++scan.Counted;
      if (kind == SwitchWord::Setup) scan.Setup = true;
    }
    if (action) action(kind, word, context);
    // the log file's name is no place for further switches
    word = NextSwitch(kind == SwitchWord::Log ? LogSwitchName(word).Next : word);
  }
  return scan;
}
