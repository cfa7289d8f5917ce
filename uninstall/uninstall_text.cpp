#include "uninstall/uninstall_text.h"

#include <cstring>

#include "common/path.h"

namespace {

bool IsLineEndBlank(char c) { return c == '\r' || c == '\n' || c == ' ' || c == '\t'; }

// Length of the character that starts at text[0], within length bytes.
size_t CharLength(const char* text, size_t length) {
  if (length >= 2 && LeadByteTable.Lead[static_cast<unsigned char>(text[0])]) return 2;
  return 1;
}

// The same for the entry check, which must see every separator that Windows
// may see: a lead byte before a byte below 0x40 ("/", "." and blanks among
// them, a trail byte in no double-byte code page) is taken alone, as
// Windows may convert it.
size_t EntryCharLength(const char* text, size_t length) {
  if (length >= 2 && static_cast<unsigned char>(text[1]) < 0x40) return 1;
  return CharLength(text, length);
}

// Writes into a caller's buffer and remembers whether everything fitted; the
// text is NUL-terminated as long as it fits.
class TextWriter {
 public:
  TextWriter(char* buffer, size_t size) : buffer_(buffer), size_(size) {
    if (size_ == 0)
      fits_ = false;
    else
      buffer_[0] = '\0';
  }

  void Append(const char* text, size_t length) {
    if (!fits_ || length >= size_ - length_) {
      fits_ = false;
      return;
    }
    std::memcpy(buffer_ + length_, text, length);
    length_ += length;
    buffer_[length_] = '\0';
  }
  void Append(const char* text) { Append(text, std::strlen(text)); }

  // No double-byte code page has "%" as a trail byte, so bytes can be doubled
  // one by one.
  void AppendPercentDoubled(const char* text) {
    for (const char* percent; (percent = std::strchr(text, '%')) != nullptr; text = percent + 1) {
      Append(text, static_cast<size_t>(percent - text) + 1);
      Append("%", 1);
    }
    Append(text);
  }

  bool Fits() const { return fits_; }

 private:
  char* buffer_;
  size_t size_;
  size_t length_ = 0;
  bool fits_ = true;
};

// A path component made of dots and blanks only; Windows drops trailing dots
// and blanks from names, so it means the folder itself (one dot, or blanks
// only) or a step up (two dots or more).
bool IsDotsAndBlanks(const char* begin, const char* end, int* dots) {
  *dots = 0;
  for (const char* p = begin; p < end; ++p) {
    if (*p == '.')
      ++*dots;
    else if (*p != ' ')
      return false;
  }
  return true;
}

}  // namespace

size_t TrimmedLength(const char* text, size_t length) {
  while (length > 0 && IsLineEndBlank(text[length - 1])) --length;
  return length;
}

char* TrimLineEnd(char* text) {
  text[TrimmedLength(text, std::strlen(text))] = '\0';
  return text;
}

bool ProgramFolderOf(const char* program_path, char* folder, size_t size) {
  size_t length = std::strlen(program_path);
  const char* last_backslash = nullptr;
  for (const char* p = program_path; *p;
       p += CharLength(p, length - static_cast<size_t>(p - program_path)))
    if (*p == '\\') last_backslash = p;
  if (!last_backslash) return false;
  size_t folder_length = static_cast<size_t>(last_backslash - program_path);
  // "C:\" keeps its backslash: "C:" alone would name the current folder of drive C.
  if (folder_length > 0 && IsDriveColon(last_backslash[-1])) ++folder_length;
  if (folder_length >= size) return false;
  std::memcpy(folder, program_path, folder_length);
  folder[folder_length] = '\0';
  return true;
}

bool IsEntryInsideFolder(const char* entry, size_t length) {
  if (length == 0 || IsPathSeparator(static_cast<unsigned char>(entry[0]))) return false;
  if (length >= 2 && IsDriveColon(entry[1]) && CharLength(entry, length) == 1) return false;
  bool names_something = false;
  const char* end = entry + length;
  const char* component = entry;
  for (const char* p = entry;; ) {
    if (p == end || IsPathSeparator(static_cast<unsigned char>(*p))) {
      int dots = 0;
      if (!IsDotsAndBlanks(component, p, &dots))
        names_something = true;
      else if (dots >= 2)
        return false;
      if (p == end) break;
      component = ++p;
    } else {
      p += EntryCharLength(p, static_cast<size_t>(end - p));
    }
  }
  return names_something;
}

bool JoinEntryPath(char* path, size_t size, const char* folder, const char* entry,
                   size_t entry_length) {
  TextWriter out(path, size);
  out.Append(folder);
  out.Append(entry, entry_length);
  return out.Fits();
}

bool BatchFilePath(char* path, size_t size, const char* temp_folder) {
  TextWriter out(path, size);
  out.Append(temp_folder);
  out.Append("Uninstall_Kex.Bat");
  return out.Fits();
}

bool BatchFolderPath(char* path, size_t size, const char* temp_folder, unsigned long number) {
  static const char digits[] = "0123456789ABCDEF";
  char hex[9];
  for (int i = 7; i >= 0; --i, number >>= 4) hex[i] = digits[number & 0xF];
  hex[8] = '\0';
  TextWriter out(path, size);
  out.Append(temp_folder);
  out.Append("Uninstall_Kex_");
  out.Append(hex);
  return out.Fits();
}

const char* ProtectedFolderSecurity() {
  // Owner Administrators: an owner may always rewrite the access list, and
  // an elevated token's user is also the user of the processes without
  // elevation. "P" keeps out what the temporary folder would pass down.
  return "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
}

bool FormatWaitLine(char* text, size_t size, bool nt_family, const char* program) {
  TextWriter out(text, size);
  // On the 9x family the interpreter does not wait for a Windows program
  // unless told to.
  out.Append(nt_family ? "\"" : "start /wait \"");
  out.AppendPercentDoubled(program);
  out.Append("\" /wait\r\n");
  return out.Fits();
}

bool FormatRemovalBlock(char* text, size_t size, const char* program, const char* folder) {
  TextWriter out(text, size);
  out.Append("del \"");
  out.AppendPercentDoubled(program);
  out.Append("\"\r\nrd \"");
  out.AppendPercentDoubled(folder);
  out.Append("\"\r\nif not exist \"");
  out.AppendPercentDoubled(program);
  out.Append("\" goto done\r\n");
  return out.Fits();
}

bool FormatClosingBlock(char* text, size_t size, const char* program, const char* batch) {
  TextWriter out(text, size);
  out.Append(":done\r\nif exist \"");
  out.AppendPercentDoubled(program);
  out.Append("\" \"");
  out.AppendPercentDoubled(program);
  out.Append("\" /warning\r\ndel \"");
  out.AppendPercentDoubled(batch);
  out.Append("\"");
  return out.Fits();
}

bool FormatCommandLine(char* text, size_t size, const char* comspec, const char* batch,
                       const char* batch_folder) {
  TextWriter out(text, size);
  out.Append(comspec);
  out.Append(" /c \"");
  if (batch_folder) {
    // The interpreter expands "%" on its command line, with no way to
    // write it literally.
    if (std::strchr(batch, '%') || std::strchr(batch_folder, '%')) return false;
    // The folder goes once the batch file has ended: the interpreter may
    // hold the file open until then (Wine's does). Of a /c line with more
    // than two quotes it drops the first and the last.
    out.Append("\"");
    out.Append(batch);
    out.Append("\" & rd \"");
    out.Append(batch_folder);
    out.Append("\"");
  } else {
    out.Append(batch);
  }
  out.Append("\"");
  return out.Fits();
}
