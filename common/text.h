#pragma once
// Bounded text copies and the one formatting rule the program allows for
// texts that come from string tables or translations. No <windows.h> here.
#include <cstddef>

// Copies src into dst of size bytes. False, with dst untouched, when the text
// and its terminator do not fit.
bool CopyText(char* dst, size_t size, const char* src);

// Appends src to the text already in dst. False, with dst untouched, when the
// result does not fit.
bool AppendText(char* dst, size_t size, const char* src);

// Appends the first length bytes of src (fewer when src ends sooner), as many
// whole characters as fit: a double-byte character is never split. False
// when anything had to be left out.
bool AppendTextCut(char* dst, size_t size, const char* src, size_t length);

// True when format holds at most one "%s" and no other conversion ("%%" is
// a literal percent sign). Only such a text may be used as the format of a
// call that supplies one string; any other "%" sequence could read or write
// memory that the call never passed. A text without "%s" is safe too: it
// just does not show the argument.
bool IsSafeStringFormat(const char* format);

// True when text is an http:// or https:// address (scheme in any letter
// case) with something after the scheme other than "/", and no blank, quote
// or control character: the only kind of text handed to the shell as a web
// page, so that a translation cannot make it start a program.
bool IsWebAddress(const char* text);

// Writes format with its "%s" (if any) replaced by arg and each "%%" by "%";
// dst must not overlap either. False, with dst untouched, when format is not
// a safe string format or the result does not fit.
bool FormatSingleString(char* dst, size_t size, const char* format, const char* arg);
