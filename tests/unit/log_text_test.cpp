#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "common/log_text.h"

namespace {

TEST(FormatLogRegData, TypeAndShortData) {
  const struct {
    unsigned long type;
    std::string data;
    const char* shown;
  } cases[] = {
      {1, std::string("Zobrix.ZIP\0", 11), "REG_SZ \"Zobrix.ZIP\""},
      {1, "no terminator", "REG_SZ \"no terminator\""},
      {1, std::string(81, 'a'), nullptr},  // below: 80 bytes and "..."
      {2, std::string("%SystemRoot%\0", 13), "REG_EXPAND_SZ \"%SystemRoot%\""},
      {7, std::string("a\0b c\0\0", 7), "REG_MULTI_SZ \"a|b c\""},
      {4, std::string("\x01\0\0\0", 4), "REG_DWORD 0x00000001 (1)"},
      {4, "\xFF\xFF\xFF\xFF", "REG_DWORD 0xFFFFFFFF (4294967295)"},
      {4, "\x01\x02", "REG_DWORD 01 02"},  // not 4 bytes: shown as stored
      {0, "", "REG_NONE (no data)"},
      {3, std::string(17, '\xAB'), "REG_BINARY AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB ..."},
      {11, "\x01", "type 11 01"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.data);
    char out[300];
    ASSERT_TRUE(FormatLogRegData(out, sizeof(out), c.type, c.data.data(), c.data.size()));
    EXPECT_EQ(out, c.shown ? std::string(c.shown) : "REG_SZ \"" + std::string(80, 'a') + "...\"");
  }
  char small[8];
  EXPECT_FALSE(FormatLogRegData(small, sizeof(small), 1, "abc", 4));
}

TEST(FormatLogRegName, KeyValueAndDefault) {
  char out[64];
  ASSERT_TRUE(FormatLogRegName(out, sizeof(out), 0x80000000u, ".zip", true, ""));
  EXPECT_STREQ(out, "HKCR\\.zip (default)");
  ASSERT_TRUE(FormatLogRegName(out, sizeof(out), 0x80000001u, "Software\\Zobrix", true, "Set"));
  EXPECT_STREQ(out, "HKCU\\Software\\Zobrix \"Set\"");
  // HKEY_LOCAL_MACHINE as a 64-bit process holds it: sign-extended
  const uintptr_t local_machine = static_cast<uintptr_t>(static_cast<intptr_t>(INT32_MIN + 2));
  ASSERT_TRUE(FormatLogRegName(out, sizeof(out), local_machine, "Software\\Zobrix", false, "ignored"));
  EXPECT_STREQ(out, "HKLM\\Software\\Zobrix");
  EXPECT_FALSE(FormatLogRegName(out, 10, 0x80000002u, "Software\\Zobrix", false, nullptr));
}

}  // namespace
