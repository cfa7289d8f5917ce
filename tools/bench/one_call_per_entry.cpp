// The least work any uninstaller can do on a list: one deletion call per
// entry, in an order where each call succeeds. A line ending in a backslash
// names a folder (RemoveDirectoryA), any other a file (DeleteFileA).
//   one_call_per_entry FOLDER LIST
// FOLDER ends in a backslash and each line of LIST is relative to it, as in
// the uninstaller. Exits with 1 when a call failed: the order was not the
// best one and the comparison would flatter the uninstaller. A GUI program,
// started as the uninstaller is: without a console.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: one_call_per_entry FOLDER LIST\n");
    return 2;
  }
  HANDLE file = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "one_call_per_entry: cannot open %s\n", argv[2]);
    return 2;
  }
  std::string text(GetFileSize(file, nullptr), '\0');
  DWORD read = 0;
  bool complete = ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &read, nullptr) &&
                  read == text.size();
  CloseHandle(file);
  if (!complete) return 2;

  const std::string folder = argv[1];
  int failures = 0;
  std::string path;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    size_t length = end - start;
    if (length > 0 && text[start + length - 1] == '\r') --length;
    if (length > 0) {
      bool is_folder = text[start + length - 1] == '\\';
      path.assign(folder).append(text, start, is_folder ? length - 1 : length);
      if (!(is_folder ? RemoveDirectoryA(path.c_str()) : DeleteFileA(path.c_str()))) ++failures;
    }
    start = end + 1;
  }
  if (failures) std::fprintf(stderr, "one_call_per_entry: %d calls failed\n", failures);
  return failures ? 1 : 0;
}
