#pragma once
// The run's log, asked for with /log=<file>: plain text in the code page,
// CR LF line ends, one line written to the file as each thing happens, so
// that a run that ends abruptly leaves everything up to that point. Every
// call does nothing while no log is open; a log that cannot be opened or
// written changes nothing in the run. No <windows.h> here.
#include <cstddef>
#include <cstdint>

// Opens name (relative to the current folder, made absolute at once: the
// uninstall changes folders) for appending and writes the run's heading:
// version, command line, Windows version and family, WOW64, elevation. The
// first call decides; false when no log could be opened.
bool OpenLog(const char* name);

// One line made of the texts given, in order (null ones are left out). A
// line longer than the log's line buffer is replaced by a note saying so.
void LogLine(const char* first, const char* second = nullptr, const char* third = nullptr,
             const char* fourth = nullptr, const char* fifth = nullptr);

// The last line, "Exit code: <code>"; the log is closed after it.
void LogExit(int code);

// True while a log is open: callers may skip composing a line otherwise.
bool LogIsOpen();
