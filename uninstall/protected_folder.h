#pragma once
// New folders that only Administrators and SYSTEM may change: the batch file
// of an elevated run and the files left to the next restart go into one,
// where no process without elevation can rename, replace or link anything.
#include <windows.h>

#include <cstddef>

// Security attributes made from ProtectedFolderSecurity(); the descriptor is
// released with the object.
class ProtectedSecurity {
 public:
  ProtectedSecurity();
  ~ProtectedSecurity();
  ProtectedSecurity(const ProtectedSecurity&) = delete;
  ProtectedSecurity& operator=(const ProtectedSecurity&) = delete;
  // Null when the descriptor could not be made.
  SECURITY_ATTRIBUTES* Attributes() { return descriptor_ ? &attributes_ : nullptr; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_ = {};
};

// The system's temporary folder, "Temp" in the Windows folder, with a
// backslash at its end. The path is asked of the system, not of the
// environment, which the user sets.
bool SystemTempFolder(char* folder, size_t size);

// Creates a new folder in parent (which ends in a backslash), named prefix
// and 16 random hexadecimal digits, protected from its first moment; a name
// that exists already (made by anyone) is never used. folder receives its
// path.
bool MakeProtectedFolder(SECURITY_ATTRIBUTES* security, const char* parent, const char* prefix,
                         char* folder, size_t size);
