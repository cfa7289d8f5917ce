#include "common/program_path.h"

#include <windows.h>

#include <cstring>

#include "common/os_version.h"
#include "common/path.h"
#include "common/text.h"

namespace {

// Enough for any path the wide calls give.
const DWORD kWideCapacity = 32768;

// A wide buffer on the heap: paths of the wide calls may reach 32767 characters.
class WidePath {
 public:
  WidePath() : text_(static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), 0, kWideCapacity * sizeof(WCHAR)))) {}
  ~WidePath() {
    if (text_) HeapFree(GetProcessHeap(), 0, text_);
  }
  WidePath(const WidePath&) = delete;
  WidePath& operator=(const WidePath&) = delete;
  WCHAR* Text() const { return text_; }

 private:
  WCHAR* text_;
};

// The wide text in the ANSI code page, only when it comes back unchanged:
// a character the code page lacks would become "?" or a look-alike, which
// names another file.
bool ExactAnsi(const WCHAR* wide, char* out, size_t size) {
  if (size == 0) return false;
  out[0] = '\0';
  // UTF-8 as the code page takes no default character (the call fails when
  // asked about one); it holds every character, and the round trip below
  // still checks the text.
  BOOL used_default = FALSE;
  int bytes = WideCharToMultiByte(CP_ACP, 0, wide, -1, out, static_cast<int>(size), nullptr,
                                  GetACP() == CP_UTF8 ? nullptr : &used_default);
  if (bytes <= 0 || used_default) {
    out[0] = '\0';
    return false;
  }
  const int count = lstrlenW(wide) + 1;
  WidePath back;
  if (!back.Text() || MultiByteToWideChar(CP_ACP, 0, out, -1, back.Text(), kWideCapacity) != count ||
      std::memcmp(back.Text(), wide, count * sizeof(WCHAR)) != 0) {
    out[0] = '\0';
    return false;
  }
  return true;
}

const WCHAR kLiteralPrefix[] = L"\\\\?\\";
const int kLiteralPrefixLength = 4;

bool IsDrivePath(const WCHAR* path) {
  return ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
         path[1] == L':' && path[2] == L'\\';
}

// The short form of a path. A drive path is asked with the "\\?\" prefix:
// without it the rules that drop a trailing blank or dot would have the
// last part name another folder.
bool ShortForm(const WCHAR* wide, WCHAR* out) {
  WidePath literal;
  if (!literal.Text() || lstrlenW(wide) + kLiteralPrefixLength >= static_cast<int>(kWideCapacity))
    return false;
  const bool drive = IsDrivePath(wide);
  if (drive) {
    lstrcpyW(literal.Text(), kLiteralPrefix);
    lstrcpyW(literal.Text() + kLiteralPrefixLength, wide);
  }
  DWORD length = GetShortPathNameW(drive ? literal.Text() : wide, out, kWideCapacity);
  if (length == 0 || length >= kWideCapacity) return false;
  if (drive && std::memcmp(out, kLiteralPrefix, kLiteralPrefixLength * sizeof(WCHAR)) == 0)
    std::memmove(out, out + kLiteralPrefixLength, (length - kLiteralPrefixLength + 1) * sizeof(WCHAR));
  return true;
}

// The long path when it serves the ANSI calls as it stands, else its short
// form; short_only skips the long one.
bool AnsiFormOf(const WCHAR* wide, bool short_only, char* out, size_t size) {
  if (!short_only && ExactAnsi(wide, out, size) && !HasPartEndingInBlankOrDot(out)) return true;
  WidePath short_wide;
  // Where no short name exists (8.3 names switched off) the long name comes
  // back, and fails the same tests.
  return short_wide.Text() && ShortForm(wide, short_wide.Text()) &&
         ExactAnsi(short_wide.Text(), out, size) && !HasPartEndingInBlankOrDot(out);
}

bool ProgramPath(bool short_only, char* path, size_t size) {
  if (size == 0) return false;
  path[0] = '\0';
  if (GetNtVersion() == 0) {
    // the 9x family's wide calls are stubs: its paths are ANSI already
    char long_path[1024];
    DWORD length = GetModuleFileNameA(nullptr, long_path, sizeof(long_path));
    if (length == 0 || length >= sizeof(long_path)) return false;
    if (!short_only) return CopyText(path, size, long_path);
    length = GetShortPathNameA(long_path, path, static_cast<DWORD>(size));
    if (length > 0 && length < size) return true;
    path[0] = '\0';
    return false;
  }
  WidePath wide;
  if (!wide.Text()) return false;
  DWORD length = GetModuleFileNameW(nullptr, wide.Text(), kWideCapacity);
  if (length == 0 || length >= kWideCapacity) return false;
  return AnsiFormOf(wide.Text(), short_only, path, size);
}

}  // namespace

bool GetProgramPath(char* path, size_t size) { return ProgramPath(false, path, size); }

bool GetShortProgramPath(char* path, size_t size) { return ProgramPath(true, path, size); }

bool GetCurrentFolder(char* folder, size_t size) {
  if (size == 0) return false;
  folder[0] = '\0';
  if (GetNtVersion() == 0) {
    DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(size), folder);
    if (length > 0 && length < size) return true;
    folder[0] = '\0';
    return false;
  }
  WidePath wide;
  if (!wide.Text()) return false;
  DWORD length = GetCurrentDirectoryW(kWideCapacity, wide.Text());
  if (length == 0 || length >= kWideCapacity) return false;
  return AnsiFormOf(wide.Text(), false, folder, size);
}
