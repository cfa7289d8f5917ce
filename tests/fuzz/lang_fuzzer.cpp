// Any bytes as the messages section of a language file, and any text and
// context looked up in it. The index stays inside the section and sorted, a
// lookup never writes past its buffer and yields either the source (cut at
// a character boundary when it does not fit) or a text from a line that
// starts with the key; an entry appended after any section is found.
//
// Input: lead-byte layout, buffer size, text length, context length, then
// the text, the context and the section.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "common/path.h"
#include "lang/lang_file.h"

namespace {

const char kFormFeed = '\x0C';
const char kMarker[] = "***messages***\n";

[[noreturn]] void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s: ", what);
  for (unsigned char c : detail) std::fprintf(stderr, c >= 0x20 && c < 0x7F ? "%c" : "\\x%02X", c);
  std::fprintf(stderr, "\n");
  std::abort();
}

void SetLeadBytes(int layout) {
  LeadByteTable = LeadBytes{};
  if (layout == 1)
    for (int c = 0x81; c <= 0xFE; ++c) LeadByteTable.Lead[c] = true;
  LeadByteTable.MultiByte = layout == 1;
}

// Translates into a buffer of exactly size bytes on the heap, so that the
// address sanitizer sees any write past it.
std::string Lookup(const LangFile& file, const std::string& src, const char* context, size_t size) {
  std::unique_ptr<char[]> out(new char[size]);
  std::memset(out.get(), 'X', size);
  file.Translate(src.c_str(), out.get(), size, context, TextKind::Window);
  if (!std::memchr(out.get(), '\0', size)) Fail("no terminator within the buffer", src);
  return out.get();
}

bool IsSourcePrefix(const std::string& result, const std::string& src, size_t size) {
  if (src.size() < size) return result == src;
  if (result.size() >= size || src.compare(0, result.size(), result) != 0) return false;
  // cut before a character, never inside one
  size_t at = 0;
  while (at < result.size()) at += LeadByteTable.Lead[static_cast<unsigned char>(src[at])] ? 2 : 1;
  return at == result.size();
}

// True when some line of the section starts with key and result follows
// its key, "=" and the opening quote: a line shorter than those is read on
// from the same place, and a line without its closing quote gives its form
// feed as well. Either way result has no form feed but a last one.
bool IsFromKeyLine(const LangFile& file, const char* key, const std::string& result) {
  size_t form_feed = result.find(kFormFeed);
  if (form_feed != std::string::npos && form_feed + 1 != result.size()) return false;
  for (const char* line = file.Data; *line;) {
    if (std::strncmp(line, key, 8) == 0) {
      const char* text = line + strnlen(line, 10);
      if (std::strncmp(text, result.c_str(), result.size()) == 0) return true;
    }
    while (*line && *line != kFormFeed) ++line;
    while (*line == kFormFeed) ++line;
  }
  return false;
}

void CheckIndex(const LangFile& file) {
  if (!file.Data || file.Data[file.Size] != '\0') Fail("section not terminated", "");
  for (int32_t i = 0; i < file.LineIndex.Count; ++i) {
    int32_t at = file.LineIndex.Items[i];
    if (at <= 0 || at >= file.Size || file.Data[at - 1] != kFormFeed) Fail("index entry not a line start", "");
    if (i > 0 && std::strncmp(file.Data + file.LineIndex.Items[i - 1], file.Data + at, 8) > 0)
      Fail("index not sorted", "");
  }
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  SetLeadBytes(data[0] & 1);
  size_t out_size = 1 + data[1];
  size_t src_length = data[2] % 64, context_length = data[3] % 16;
  data += 4;
  size -= 4;
  if (src_length + context_length > size) return 0;
  // NUL ends a C string: the text and the context stop at one
  std::string src(reinterpret_cast<const char*>(data), src_length);
  src = src.c_str();
  std::string context(reinterpret_cast<const char*>(data) + src_length, context_length);
  context = context.c_str();
  std::string section(reinterpret_cast<const char*>(data) + src_length + context_length,
                      size - src_length - context_length);

  LangFile file;
  if (!file.LoadSection(section.data(), section.size())) Fail("out of memory", "");
  CheckIndex(file);
  char key[9];
  LangFile::MakeKey(key, src.c_str(), context.c_str(), TextKind::Window);
  std::string result = Lookup(file, src, context.c_str(), out_size);
  if (!IsSourcePrefix(result, src, out_size) && !IsFromKeyLine(file, key, result))
    Fail("neither the source nor a text of its key", result);

  // The same section with this text's entry after it: found, unless the
  // section already has a line of that key or hides the entry.
  std::string translation(src.rbegin(), src.rend());
  for (char& c : translation)
    if (c == kFormFeed) c = ' ';
  std::string entry = std::string(key) + "=\"" + Escaped(translation) + "\"\n";
  std::string whole = kMarker + section + "\n" + entry;
  if (section.find('\0') != std::string::npos || section.find(key) != std::string::npos ||
      whole.size() > static_cast<size_t>(LangFile::kSectionLimit))
    return 0;
  if (!file.LoadSection(whole.data(), whole.size())) Fail("out of memory", "");
  result = Lookup(file, src, context.c_str(), out_size);
  bool found = translation.size() < out_size ? result == translation : IsSourcePrefix(result, src, out_size);
  if (!found) Fail("appended entry not found, or its text taken though it does not fit", result);
  return 0;
}
