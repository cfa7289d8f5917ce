#include "lang/lang_file.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/text.h"
#include "lang/crc32.h"

namespace {

const char kFormFeed = '\x0C';
const int kKeyLength = 8;
// Without a form feed after it, the last line of the section yields at most
// this many bytes before the cut at its last quote.
const size_t kLastLineLimit = 255;

// Copies src into out unless they are the same buffer, shortening it at a
// character boundary rather than writing past out.
void CopySource(const char* src, char* out, size_t out_size) {
  if (out == src || out_size == 0) return;
  out[0] = '\0';
  AppendTextCut(out, out_size, src, std::strlen(src));
}

}  // namespace

LangFile::~LangFile() { Clear(); }

void LangFile::Clear() {
  std::free(Data);
  std::free(LineIndex.Items);
  Data = nullptr;
  Size = 0;
  LineIndex.Items = nullptr;
  LineIndex.Count = 0;
  LineIndex.Capacity = 0;
}

bool LangFile::AppendLine(int32_t offset) {
  if (LineIndex.Count == LineIndex.Capacity) {
    int32_t needed = LineIndex.Count + 1;
    int32_t capacity = LineIndex.Capacity + LineIndex.Capacity / 4 + 32;
    if (capacity < needed) capacity = needed;
    void* items = std::realloc(LineIndex.Items, static_cast<size_t>(capacity) * sizeof(int32_t));
    if (!items) return false;
    LineIndex.Items = static_cast<int32_t*>(items);
    LineIndex.Capacity = capacity;
  }
  LineIndex.Items[LineIndex.Count++] = offset;
  return true;
}

bool LangFile::LoadSection(const char* bytes, size_t size) {
  Clear();
  if (size > static_cast<size_t>(kSectionLimit)) size = kSectionLimit;
  Data = static_cast<char*>(std::malloc(size + 1));
  if (!Data) return true;
  std::memcpy(Data, bytes, size);
  Data[size] = '\0';
  Size = static_cast<int32_t>(size);

  // Escapes and line ends, in place. The bytes that escapes produce belong
  // to the text: only real CR and LF bytes become line breaks.
  int32_t read = 0, write = 0;
  while (read < Size) {
    char c = Data[read];
    if (c == '\0') break;
    if (c == '\\' && read + 1 < Size) {
      char escaped = 0;
      switch (Data[read + 1]) {
        case '"': escaped = '"'; break;
        case '\\': escaped = '\\'; break;
        case 'n': escaped = '\n'; break;
        case 'r': escaped = '\r'; break;
        case 't': escaped = '\t'; break;
      }
      if (escaped) {
        Data[write++] = escaped;
        read += 2;
        continue;
      }
    }
    Data[write++] = (c == '\r' || c == '\n') ? kFormFeed : c;
    ++read;
  }
  Data[write] = '\0';
  Size = write;

  // The marker line is not indexed, nor a line too short to hold an entry.
  for (int32_t k = 1; k < Size - kKeyLength; ++k) {
    if (Data[k - 1] == kFormFeed && Data[k] != kFormFeed && !AppendLine(k)) {
      Clear();
      return false;
    }
  }
  const char* data = Data;
  std::sort(LineIndex.Items, LineIndex.Items + LineIndex.Count, [data](int32_t a, int32_t b) {
    return std::strncmp(data + a, data + b, kKeyLength) < 0;
  });
  return true;
}

void LangFile::MakeKey(char key[9], const char* src, const char* context, TextKind kind) {
  unsigned char seed = static_cast<unsigned char>(kind);
  uint32_t crc = Crc32(0xFFFFFFFFu, &seed, 1);
  if (context) crc = Crc32(crc, context, std::strlen(context));
  crc = ~Crc32(crc, src, std::strlen(src));
  static const char kHex[] = "0123456789abcdef";
  for (int i = kKeyLength - 1; i >= 0; --i, crc >>= 4) key[i] = kHex[crc & 0xF];
  key[kKeyLength] = '\0';
}

const char* LangFile::FindEntry(const char* key) const {
  // Bisection over the sorted index compares the key bytes only.
  const int32_t* base = LineIndex.Items;
  int32_t n = LineIndex.Count;
  while (n > 0) {
    int32_t half = n / 2;
    const char* line = Data + base[half];
    int order = std::strncmp(key, line, kKeyLength);
    if (order == 0) return line;
    if (order < 0) {
      n = half;
    } else {
      base += half + 1;
      n -= half + 1;
    }
  }
  // The scan also finds lines the index leaves out, but only whole entries.
  for (const char* line = Data; *line;) {
    if (std::strncmp(line, key, kKeyLength) == 0 && line[8] == '=' && line[9] == '"') return line;
    while (*line && *line != kFormFeed) ++line;
    while (*line == kFormFeed) ++line;
  }
  return nullptr;
}

bool LangFile::Translate(const char* src, char* out, size_t out_size, const char* context,
                         TextKind kind) const {
  if (!Data) {
    CopySource(src, out, out_size);
    return false;
  }
  char key[kKeyLength + 1];
  MakeKey(key, src, context, kind);
  const char* line = FindEntry(key);
  if (!line) {
    CopySource(src, out, out_size);
    return false;
  }
  // The text follows key, "=" and the opening quote; a line that the
  // bisection found without them is read from the same place, but never
  // past the end of the section.
  const char* text = line;
  for (int i = 0; i < kKeyLength + 2 && *text; ++i) ++text;
  const char* form_feed = std::strchr(text, kFormFeed);
  size_t count = 0;
  if (form_feed) {
    count = static_cast<size_t>(form_feed - text) + 1;
  } else {
    while (count < kLastLineLimit && text[count]) ++count;
  }
  // Only the last quote ends the text, so escaped quotes inside it stay.
  for (size_t i = count; i > 0; --i) {
    if (text[i - 1] == '"') {
      count = i - 1;
      break;
    }
  }
  if (count >= out_size) {
    CopySource(src, out, out_size);
    return false;
  }
  std::memmove(out, text, count);
  out[count] = '\0';
  return true;
}
