#pragma once
// Texts of the uninstaller: the self-removal batch file and the command line
// that starts it. No <windows.h> here. Every function that writes into a
// buffer refuses (returns false) a text that does not fit instead of cutting
// it.
#include <cstddef>

// Removes every trailing carriage return, line feed, blank and tab in place;
// returns text.
char* TrimLineEnd(char* text);

// The batch file: the temporary folder, which ends in a backslash, followed
// by "Uninstall_Kex.Bat".
bool BatchFilePath(char* path, size_t size, const char* temp_folder);

// A folder of its own for the batch file of an elevated run: the temporary
// folder (ending in a backslash) followed by "Uninstall_Kex_" and number in
// sixteen hexadecimal digits.
bool BatchFolderPath(char* path, size_t size, const char* temp_folder, unsigned long long number);

// The security descriptor, in its text form, of that folder and its batch
// file: owned by Administrators, with a protected access list that grants
// SYSTEM and Administrators alone, so that no process without elevation can
// change, replace or remove anything in it.
const char* ProtectedFolderSecurity();

// Pieces of the batch file. The paths are given as the command interpreter
// is to read them; every "%" in them is written "%%" so that they are not
// taken for variables.
// "<program>" /wait CR LF; on the 9x family preceded by "start /wait ".
bool FormatWaitLine(char* text, size_t size, bool nt_family, const char* program);
// Each attempt and the closing first jump to the label "kept" when
// "<folder>\Uninstall.lst" exists: a new installation in the folder (an
// upgrade that uninstalls first) keeps its program file and folder.
// One attempt: del "<program>", rd "<folder>", and the jump to the label
// "done" once the program file is gone; written five times.
// A null folder leaves out the test and the rd: the program file was moved
// out of the installation folder, and that folder removed, beforehand.
bool FormatRemovalBlock(char* text, size_t size, const char* program, const char* folder);
// The label "done", the run while the program file stays (/restart: its
// removal at the next restart; /warning: the notice; /s after a silent
// uninstall, so that the notice waits for nobody), the label "kept" and the
// batch file's deletion of itself, without a final line break.
bool FormatClosingBlock(char* text, size_t size, const char* program, const char* folder,
                        const char* batch, bool silent);

// <comspec> /c "<batch>"; with a batch_folder
// <comspec> /D /V:OFF /c ""<batch>" & rd "<batch_folder>"", which removes
// that folder after the batch. Refused then when a path holds "%". Only the
// system's cmd.exe is given a batch_folder: it is started elevated, and
// /D keeps it from running the AutoRun commands that the user's processes
// may set (HKEY_CURRENT_USER), /V:OFF from expanding "!" as the user's
// settings may ask.
bool FormatCommandLine(char* text, size_t size, const char* comspec, const char* batch,
                       const char* batch_folder = nullptr);
