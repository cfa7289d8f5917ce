#pragma once
// Double-byte-aware stepping through ANSI paths. No <windows.h> here.
#include <cstddef>

// One flag per ANSI byte value: true when it starts a double-byte character
// in the system's ANSI code page; MultiByte when the code page has any.
struct LeadBytes {
  bool Lead[256];
  bool MultiByte;
};

// Filled from the system's ANSI code page before WinMain runs; defined in
// lead_bytes_win.cpp, and for native builds by the unit tests (all false
// until a test fills it).
extern LeadBytes LeadByteTable;

// The character after the one that starts at text; a lead byte followed by
// the terminator counts as one byte, so stepping never passes the terminator.
const char* NextCharPtr(const LeadBytes& table, const char* text);

// The character after the one at text, stepping by LeadByteTable when the
// code page is a multi-byte one and by single bytes otherwise; never passes
// the terminator.
const char* StepChar(const char* text);

// Length, 1 or 2, of the file-name character that starts at text[0], of
// which length bytes (at least one) may be read. A lead byte of the ANSI
// code page before a byte below 0x40 stands alone: no double-byte code page
// has such a trail byte, and Windows may convert the lead byte by itself and
// then read the next byte ("/", ":", ".", "*", a blank) as what it is. Every
// check of a name for separators, dots or wildcards steps this way, so it
// sees all that Windows may see.
size_t NameCharLength(const char* text, size_t length);

inline bool IsPathSeparator(int c) { return c == '\\' || c == '/'; }
inline bool IsDriveColon(int c) { return c == ':'; }

// Start of the file-name part: after the last separator, else after "X:",
// else the whole path.
const char* NamePart(const char* path);
char* NamePart(char* path);

// The program folder of a program path: the path up to its last backslash,
// which stays when a colon precedes it (a drive root such as C:\). False
// when the path has no backslash or the folder does not fit.
bool ProgramFolderOf(const char* program_path, char* folder, size_t size);

// True when some part of the path (a folder or the file name) ends in a
// blank or a dot: Windows' path rules drop those, so such a part names
// another file. "." and ".." are steps, not names, and do not count.
bool HasPartEndingInBlankOrDot(const char* path);

// Start of the last character; the text itself when it is empty.
const char* LastCharPtr(const char* text);

// True when name can stand by itself as a file's name in a folder: not
// empty; no separator, ":", wildcard, quote, "<", ">", "|" or control
// character; no ".."; no trailing dot or blank; not a device name (CON,
// PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, with any extension and in any
// letter case), which Windows opens instead of a file. Characters are
// stepped by NameCharLength, as in the entries of the file list.
bool IsPlainFileName(const char* name);

// Appends a backslash unless the path is empty or already ends in one.
// False (path unchanged) when the buffer of size bytes has no room.
bool AppendBackslash(char* path, size_t size);
