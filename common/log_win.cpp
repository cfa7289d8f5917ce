#include "common/log.h"

#include <windows.h>

#include <cstring>

#include "common/log_text.h"
#include "common/os_version.h"
#include "common/text.h"
#include "res/version.h"

namespace {

HANDLE LogFile = INVALID_HANDLE_VALUE;

const size_t kLineSize = 4096;

// One WriteFile per line: what was written is the system's once the call
// returns, whatever becomes of this process.
void WriteLine(const char* text) {
  char line[kLineSize + 2];
  size_t length = std::strlen(text);
  if (length > kLineSize) return;
  std::memcpy(line, text, length);
  line[length++] = '\r';
  line[length++] = '\n';
  DWORD written = 0;
  WriteFile(LogFile, line, static_cast<DWORD>(length), &written, nullptr);
}

void WriteHeading() {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  const WORD parts[6] = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
  char date[32] = "";
  for (int i = 0; i < 6; ++i) {
    char digits[12];
    FormatLogNumber(digits, sizeof(digits), parts[i]);
    if (i > 0) AppendText(date, sizeof(date), i == 3 ? " " : i < 3 ? "-" : ":");
    if (digits[1] == '\0') AppendText(date, sizeof(date), "0");
    AppendText(date, sizeof(date), digits);
  }
  LogLine("");
  LogLine("uninstall.exe ", UNINSTALL_VERSION_TEXT, ", log begun ", date);
  LogLine("Command line: ", GetCommandLineA());

  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  if (GetVersionExA(&info)) {
    char number[3][12];
    FormatLogNumber(number[0], sizeof(number[0]), info.dwMajorVersion);
    FormatLogNumber(number[1], sizeof(number[1]), info.dwMinorVersion);
    // the 9x family keeps the version in the build number's high word
    FormatLogNumber(number[2], sizeof(number[2]),
                    info.dwPlatformId == VER_PLATFORM_WIN32_NT ? info.dwBuildNumber
                                                               : info.dwBuildNumber & 0xFFFF);
    char version[64];
    if (CopyText(version, sizeof(version), number[0]) && AppendText(version, sizeof(version), ".") &&
        AppendText(version, sizeof(version), number[1]) &&
        AppendText(version, sizeof(version), " build ") &&
        AppendText(version, sizeof(version), number[2]) &&
        AppendText(version, sizeof(version), GetNtVersion() != 0 ? ", NT family" : ", 9x family"))
      LogLine("Windows ", version, info.szCSDVersion[0] != '\0' ? ", " : "", info.szCSDVersion);
  } else {
    LogLine("Windows version unknown, taken for the 9x family");
  }
  const int elevation = ProcessElevation();
  LogLine("WOW64: ", RunsUnderWow64() ? "yes" : "no", "; elevated: ",
          elevation < 0 ? "not applicable" : elevation ? "yes" : "no");
}

}  // namespace

bool OpenLog(const char* name) {
  if (LogFile != INVALID_HANDLE_VALUE || !name || name[0] == '\0') return false;
  char path[1024];
  char* name_part = nullptr;
  DWORD length = GetFullPathNameA(name, sizeof(path), path, &name_part);
  if (length == 0 || length >= sizeof(path)) return false;
  // Others may read it meanwhile. The 9x family refuses FILE_SHARE_DELETE.
  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | (GetNtVersion() != 0 ? FILE_SHARE_DELETE : 0);
  HANDLE file = CreateFileA(path, GENERIC_WRITE, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // A setup and the uninstall after it may share one log.
  if (SetFilePointer(file, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR) {
    CloseHandle(file);
    return false;
  }
  LogFile = file;
  WriteHeading();
  return true;
}

void LogLine(const char* first, const char* second, const char* third, const char* fourth,
             const char* fifth) {
  if (LogFile == INVALID_HANDLE_VALUE) return;
  char line[kLineSize];
  line[0] = '\0';
  const char* const parts[] = {first, second, third, fourth, fifth};
  for (const char* part : parts) {
    if (part && !AppendText(line, sizeof(line), part)) {
      WriteLine("(a line too long for the log)");
      return;
    }
  }
  WriteLine(line);
}

void LogExit(int code) {
  if (LogFile == INVALID_HANDLE_VALUE) return;
  char number[12];
  FormatLogNumber(number, sizeof(number), static_cast<DWORD>(code));
  LogLine("Exit code: ", number);
  CloseHandle(LogFile);
  LogFile = INVALID_HANDLE_VALUE;
}

bool LogIsOpen() { return LogFile != INVALID_HANDLE_VALUE; }
