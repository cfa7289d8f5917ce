#pragma once

// Text of a numbered message (ids in res/resource.h), translated by the
// language file when one is loaded. The result lies in one of eight rotating
// 256-byte buffers and stays valid until eight further calls.
const char* GetMsgText(int id);

// The text of a message when accept takes it, else the program's own text:
// for texts that become file names or addresses. Takes one or two of the
// rotating buffers.
const char* GetMsgTextIf(int id, bool (*accept)(const char* text));

// The text of a message that callers fill with one string (5106, 5108): the
// translated text when it holds at most one "%s" and no other conversion
// (a translation may leave the string out), else the program's own text. Takes one or two of the rotating buffers.
const char* GetMsgFormat(int id);
