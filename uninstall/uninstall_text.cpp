#include "uninstall/uninstall_text.h"

#include <cstring>

#include "common/list_entries.h"
#include "common/path.h"

namespace {

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

}  // namespace

char* TrimLineEnd(char* text) {
  text[TrimmedLength(text, std::strlen(text))] = '\0';
  return text;
}

bool BatchFilePath(char* path, size_t size, const char* temp_folder) {
  TextWriter out(path, size);
  out.Append(temp_folder);
  out.Append("Uninstall_Kex.Bat");
  return out.Fits();
}

bool BatchFolderPath(char* path, size_t size, const char* temp_folder, unsigned long long number) {
  static const char digits[] = "0123456789ABCDEF";
  char hex[17];
  for (int i = 15; i >= 0; --i, number >>= 4) hex[i] = digits[number & 0xF];
  hex[16] = '\0';
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

namespace {

// The test that ends the batch while a new installation stands in the
// folder: its installer writes a new "Uninstall.lst", and its program file
// and folder are no longer the uninstalled ones. folder has no trailing
// backslash unless it is a root.
void AppendKeptTest(TextWriter& out, const char* folder) {
  out.Append("if exist \"");
  out.AppendPercentDoubled(folder);
  if (*LastCharPtr(folder) != '\\') out.Append("\\");
  out.Append("Uninstall.lst\" goto kept\r\n");
}

}  // namespace

bool FormatRemovalBlock(char* text, size_t size, const char* program, const char* folder) {
  TextWriter out(text, size);
  if (folder) AppendKeptTest(out, folder);
  out.Append("del \"");
  out.AppendPercentDoubled(program);
  if (folder) {
    out.Append("\"\r\nrd \"");
    out.AppendPercentDoubled(folder);
  }
  out.Append("\"\r\nif not exist \"");
  out.AppendPercentDoubled(program);
  out.Append("\" goto done\r\n");
  return out.Fits();
}

bool FormatClosingBlock(char* text, size_t size, const char* program, const char* folder,
                        const char* batch, bool silent) {
  TextWriter out(text, size);
  out.Append(":done\r\n");
  if (folder) AppendKeptTest(out, folder);
  out.Append("if exist \"");
  out.AppendPercentDoubled(program);
  out.Append("\" \"");
  out.AppendPercentDoubled(program);
  out.Append(silent ? "\" /restart /warning /s\r\n:kept\r\ndel \"" : "\" /restart /warning\r\n:kept\r\ndel \"");
  out.AppendPercentDoubled(batch);
  out.Append("\"");
  return out.Fits();
}

bool FormatCommandLine(char* text, size_t size, const char* comspec, const char* batch,
                       const char* batch_folder) {
  TextWriter out(text, size);
  out.Append(comspec);
  out.Append(batch_folder ? " /D /V:OFF /c \"" : " /c \"");
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
