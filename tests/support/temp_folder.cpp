#include "tests/support/temp_folder.h"

#include <windows.h>

#include <algorithm>

namespace testenv {

namespace {

std::string TempRoot() {
  char buffer[MAX_PATH];
  DWORD length = GetTempPathA(sizeof(buffer), buffer);
  if (length == 0 || length >= sizeof(buffer)) return "C:\\";
  return buffer;
}

std::string WithBackslash(std::string path) {
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path;
}

}  // namespace

TempFolder::TempFolder(const std::string& name_hint, const std::string& parent) {
  std::string base = WithBackslash(parent.empty() ? TempRoot() : parent);
  MakeFolders(base);
  for (unsigned attempt = 0; attempt < 1000; ++attempt) {
    std::string candidate = base + name_hint + std::to_string(GetCurrentProcessId()) + "_" +
                            std::to_string(GetTickCount() % 100000 + attempt);
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
  }
}

TempFolder::~TempFolder() {
  if (!path_.empty()) RemoveTree(path_);
}

std::string TempFolder::operator/(const std::string& relative) const {
  return WithBackslash(path_) + relative;
}

bool MakeFolders(const std::string& path) {
  if (path.empty()) return false;
  if (IsFolder(path)) return true;
  std::string::size_type slash = path.find_last_of('\\', path.size() > 1 ? path.size() - 2 : 0);
  if (slash != std::string::npos && slash > 2) MakeFolders(path.substr(0, slash));
  return CreateDirectoryA(path.c_str(), nullptr) || IsFolder(path);
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::string::size_type slash = path.find_last_of('\\');
  if (slash != std::string::npos) MakeFolders(path.substr(0, slash));
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

bool ReadFileBytes(const std::string& path, std::string* bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes->clear();
  char block[4096];
  DWORD got = 0;
  while (ReadFile(file, block, sizeof(block), &got, nullptr) && got > 0) bytes->append(block, got);
  CloseHandle(file);
  return true;
}

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((WithBackslash(path) + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

void RemoveTree(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    for (const std::string& name : ListFolder(path)) RemoveTree(WithBackslash(path) + name);
    RemoveDirectoryA(path.c_str());
  } else {
    DeleteFileA(path.c_str());
  }
}

namespace {

std::wstring ToWide(const std::string& text, UINT code_page) {
  if (text.empty()) return std::wstring();
  int length = MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(length, L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

std::string FromWide(const std::wstring& text, UINT code_page) {
  if (text.empty()) return std::string();
  int length = WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
  std::string narrow(length, '\0');
  WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), &narrow[0], length,
                      nullptr, nullptr);
  return narrow;
}

}  // namespace

std::wstring Widen(const std::string& utf8) { return ToWide(utf8, CP_UTF8); }
std::string Utf8(const std::wstring& text) { return FromWide(text, CP_UTF8); }
std::wstring AnsiToWide(const std::string& ansi) { return ToWide(ansi, CP_ACP); }
std::string WideToAnsi(const std::wstring& text) { return FromWide(text, CP_ACP); }

}  // namespace testenv
