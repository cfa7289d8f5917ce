#pragma once
#include <windows.h>

#include <cstdint>

// One Win32 file handle with what the language-file loader needs: open an
// existing file, read blocks, ask and set the position, close. Failures are
// results, never shown.
class DiskFile {
 public:
  DiskFile() = default;
  virtual ~DiskFile();
  DiskFile(const DiskFile&) = delete;
  DiskFile& operator=(const DiskFile&) = delete;

  // Opens an existing file for reading, and for writing too when for_update;
  // others may read it meanwhile, and write it when share_write.
  bool Open(const char* name, bool share_write, bool for_update);
  // The count read, 0 at the end of the file, -1 on an error or while closed.
  int32_t Read(void* buffer, uint32_t size);
  // -1 when the position cannot be read (a closed file).
  int64_t GetPos();
  // origin: FILE_BEGIN, FILE_CURRENT or FILE_END. Nothing happens while closed.
  void Seek(int64_t offset, DWORD origin);
  // True when the handle closed, or nothing was open.
  bool Close();
  bool IsOpen() const { return Handle != INVALID_HANDLE_VALUE; }

  HANDLE Handle = INVALID_HANDLE_VALUE;
};
