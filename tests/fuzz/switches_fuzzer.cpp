// Any command-line tail through the switch scan: one action per "/" or "-"
// in the text outside log file names, in order, and counts that agree with
// the actions; and a /log= switch, put before or after the tail, adds its
// own action and never a counted switch.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/switches.h"

namespace {

struct Seen {
  std::vector<SwitchWord> words;
};

void Record(SwitchWord word, const char*, void* context) {
  static_cast<Seen*>(context)->words.push_back(word);
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

SwitchScan Scan(const std::string& tail, Seen* seen) {
  std::vector<char> buffer(tail.begin(), tail.end());
  buffer.push_back('\0');
  return ScanSwitches(buffer.data(), Record, seen);
}

// The tail with a /log= switch before it, or after it when no open quote
// of the tail would take the switch into a file name, gives the tail's counts.
void CheckLogSwitchAddsNothing(const std::string& tail) {
  Seen alone;
  const SwitchScan base = Scan(tail, &alone);
  std::string bare, quoted;  // a file name of each form, made from the tail
  for (char c : tail) {
    if (c != '"') quoted += c;
    if (c != '"' && c != ' ' && c != '\t') bare += c;
  }
  std::vector<std::string> lines = {"/log=" + bare + " " + tail, "/log=\"" + quoted + "\" " + tail};
  if (tail.find('"') == std::string::npos) {
    lines.push_back(tail + " -LOG=" + bare);
    lines.push_back(tail + " /log=\"" + quoted);
  }
  for (const std::string& line : lines) {
    Seen seen;
    const SwitchScan scan = Scan(line, &seen);
    if (scan.Counted != base.Counted || scan.Setup != base.Setup || scan.Silent != base.Silent ||
        seen.words.size() != alone.words.size() + 1)
      Fail("a log switch changed the scan");
  }
}

bool StartsWithNoCase(const std::string& text, const std::string& word) {
  if (text.size() < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != word[i]) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The tail as the start-up code hands it: up to its first NUL, in memory
  // that ends right after the terminator.
  std::string tail(reinterpret_cast<const char*>(data), size);
  tail.resize(tail.find('\0') == std::string::npos ? tail.size() : tail.find('\0'));
  Seen seen;
  SwitchScan scan = Scan(tail, &seen);

  std::vector<std::string> words;
  for (size_t i = 0; i < tail.size(); ++i) {
    if (tail[i] != '/' && tail[i] != '-') continue;
    words.push_back(tail.substr(i + 1));
    if (!StartsWithNoCase(words.back(), "log=")) continue;
    // the file name: quoted up to the closing quote, or up to a blank
    size_t name = i + 5;
    i = name < tail.size() && tail[name] == '"' ? tail.find('"', name + 1)
                                                : tail.find_first_of(" \t", name);
    if (i == std::string::npos) break;
  }
  if (seen.words.size() != words.size()) Fail("one action per switch character");
  int counted = 0;
  bool setup = false;
  bool silent = false;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    char second = w.size() > 1 ? w[1] : '\0';
    bool letter = (second >= 'a' && second <= 'z') || (second >= 'A' && second <= 'Z');
    SwitchWord expected = StartsWithNoCase(w, "setup")                   ? SwitchWord::Setup
                          : StartsWithNoCase(w, "s") && !letter          ? SwitchWord::Silent
                          : StartsWithNoCase(w, "wait")                  ? SwitchWord::Wait
                          : StartsWithNoCase(w, "warning")               ? SwitchWord::Warning
                          : StartsWithNoCase(w, "restart")               ? SwitchWord::Restart
                          : StartsWithNoCase(w, "log=")                  ? SwitchWord::Log
                                                                         : SwitchWord::Other;
    if (seen.words[i] != expected) Fail("word read wrongly");
    if (expected == SwitchWord::Silent) {
      silent = true;
    } else if (expected != SwitchWord::Log) {
      ++counted;
      setup = setup || expected == SwitchWord::Setup;
    }
  }
  if (scan.Counted != counted || scan.Setup != setup || scan.Silent != silent) Fail("counts");
  CheckLogSwitchAddsNothing(tail);
  return 0;
}
