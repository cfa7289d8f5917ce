#pragma once

// Text of a numbered message (ids in res/resource.h), translated by the
// language file when one is loaded. The result lies in one of eight rotating
// 256-byte buffers and stays valid until eight further calls.
const char* GetMsgText(int id);
