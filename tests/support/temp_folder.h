#pragma once
// Temporary folders and files for tests, addressed by ANSI paths.
#include <string>
#include <vector>

namespace testenv {

// A new, empty folder below the temporary folder (or below the given parent);
// removed with everything in it when the object goes.
class TempFolder {
 public:
  explicit TempFolder(const std::string& name_hint = "t", const std::string& parent = "");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  // Path joined with a relative name.
  std::string operator/(const std::string& relative) const;
  // Keeps the folder (for example when the program under test removes it).
  void Release() { path_.clear(); }

 private:
  std::string path_;
};

// File helpers over ANSI paths; folders are created as needed.
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool ReadFileBytes(const std::string& path, std::string* bytes);
bool PathExists(const std::string& path);
bool IsFolder(const std::string& path);
bool MakeFolders(const std::string& path);
// Removes a file or a whole folder tree, clearing read-only attributes.
void RemoveTree(const std::string& path);
// Names in a folder (no "." or ".."), sorted.
std::vector<std::string> ListFolder(const std::string& path);

// Wide-character forms, for names outside the ANSI code page of the test.
std::wstring Widen(const std::string& utf8);
std::string Utf8(const std::wstring& text);
// ANSI (code page of this process) <-> wide.
std::wstring AnsiToWide(const std::string& ansi);
std::string WideToAnsi(const std::wstring& text);

}  // namespace testenv
