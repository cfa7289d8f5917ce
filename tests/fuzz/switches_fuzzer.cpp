// Any command-line tail through the switch scan: one action per "/" or "-"
// in the text, in order, and counts that agree with the actions.
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

void Record(SwitchWord word, void* context) { static_cast<Seen*>(context)->words.push_back(word); }

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
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
  std::vector<char> buffer(tail.begin(), tail.end());
  buffer.push_back('\0');
  Seen seen;
  SwitchScan scan = ScanSwitches(buffer.data(), Record, &seen);

  std::vector<std::string> words;
  for (size_t i = 0; i < tail.size(); ++i)
    if (tail[i] == '/' || tail[i] == '-') words.push_back(tail.substr(i + 1));
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
                                                                         : SwitchWord::Other;
    if (seen.words[i] != expected) Fail("word read wrongly");
    if (expected == SwitchWord::Silent) {
      silent = true;
    } else {
      ++counted;
      setup = setup || expected == SwitchWord::Setup;
    }
  }
  if (scan.Counted != counted || scan.Setup != setup || scan.Silent != silent) Fail("counts");
  return 0;
}
