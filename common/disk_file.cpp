#include "common/disk_file.h"

namespace {
// Character devices and pipes refuse large single reads on some systems.
const DWORD kDeviceReadLimit = 20000;
}  // namespace

DiskFile::~DiskFile() { Close(); }

bool DiskFile::Open(const char* name, bool share_write, bool for_update) {
  Close();
  DWORD access = GENERIC_READ | (for_update ? GENERIC_WRITE : 0);
  DWORD share = FILE_SHARE_READ | (share_write ? FILE_SHARE_WRITE : 0);
  HANDLE handle = CreateFileA(name, access, share, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  Handle = handle;
  return true;
}

int32_t DiskFile::Read(void* buffer, uint32_t size) {
  if (!IsOpen()) return -1;
  // a count must fit the signed result
  if (size > 0x7FFFFFFFu) size = 0x7FFFFFFFu;
  DWORD count = 0;
  if (ReadFile(Handle, buffer, size, &count, nullptr)) return static_cast<int32_t>(count);
  DWORD type = GetFileType(Handle);
  if ((type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE) && size > kDeviceReadLimit) {
    count = 0;
    if (ReadFile(Handle, buffer, kDeviceReadLimit, &count, nullptr)) return static_cast<int32_t>(count);
  }
  return -1;
}

int64_t DiskFile::GetPos() {
  LONG high = 0;
  SetLastError(NO_ERROR);
  DWORD low = SetFilePointer(Handle, 0, &high, FILE_CURRENT);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return -1;
  return (static_cast<int64_t>(high) << 32) + low;
}

void DiskFile::Seek(int64_t offset, DWORD origin) {
  if (!IsOpen()) return;
  LONG high = static_cast<LONG>(offset >> 32);
  SetFilePointer(Handle, static_cast<LONG>(offset & 0xFFFFFFFF), &high, origin);
}

bool DiskFile::Close() {
  if (!IsOpen()) return true;
  bool closed = CloseHandle(Handle) != 0;
  Handle = INVALID_HANDLE_VALUE;
  return closed;
}
