#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/switches.h"

namespace {

struct ClassifyCase {
  const char* word;
  SwitchWord kind;
};

TEST(ClassifySwitch, FirstMatchingRowDecides) {
  const ClassifyCase cases[] = {
      {"setup", SwitchWord::Setup},   {"SETUP", SwitchWord::Setup},
      {"Setup", SwitchWord::Setup},   {"setupx", SwitchWord::Setup},
      {"setup-s", SwitchWord::Setup}, {"setu", SwitchWord::Other},
      {"s", SwitchWord::Silent},      {"S", SwitchWord::Silent},
      {"s1", SwitchWord::Silent},     {"s ", SwitchWord::Silent},
      {"s-", SwitchWord::Silent},     {"s\xD6\xD0", SwitchWord::Silent},
      {"silent", SwitchWord::Other},  {"sx", SwitchWord::Other},
      {"SZ", SwitchWord::Other},      {"wait", SwitchWord::Wait},
      {"WAIT", SwitchWord::Wait},     {"Waiting", SwitchWord::Wait},
      {"wai", SwitchWord::Other},     {"warning", SwitchWord::Warning},
      {"WARNINGS", SwitchWord::Warning}, {"warn", SwitchWord::Other},
      {"", SwitchWord::Other},        {" ", SwitchWord::Other},
      {"x", SwitchWord::Other},       {"restart", SwitchWord::Restart},
      {"Restarted", SwitchWord::Restart}, {"restar", SwitchWord::Other},
      {"log=u.log", SwitchWord::Log},     {"LOG=", SwitchWord::Log},
      {"log", SwitchWord::Other},         {"log =u.log", SwitchWord::Other},
  };
  for (const ClassifyCase& c : cases) {
    SCOPED_TRACE(c.word);
    EXPECT_EQ(static_cast<int>(ClassifySwitch(c.word)), static_cast<int>(c.kind));
  }
}

const char* Name(SwitchWord word) {
  switch (word) {
    case SwitchWord::Setup: return "setup";
    case SwitchWord::Silent: return "s";
    case SwitchWord::Wait: return "wait";
    case SwitchWord::Warning: return "warning";
    case SwitchWord::Restart: return "restart";
    case SwitchWord::Log: return "log";
    case SwitchWord::Other: return "other";
  }
  return "?";
}

void Record(SwitchWord word, const char*, void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back(Name(word));
}

struct ScanCase {
  const char* tail;
  bool setup;
  bool silent;
  int counted;
  std::vector<std::string> actions;  // in command-line order
};

TEST(ScanSwitches, CommandLines) {
  const ScanCase cases[] = {
      {"", false, false, 0, {}},
      {"/s", false, true, 0, {"s"}},
      {"-S", false, true, 0, {"s"}},
      {"/s1", false, true, 0, {"s"}},
      {"x /s", false, true, 0, {"s"}},        // /s at the very end
      {"/silent", false, false, 1, {"other"}},
      {"/setup", true, false, 1, {"setup"}},
      {"/SETUP", true, false, 1, {"setup"}},
      {"-Setup", true, false, 1, {"setup"}},
      {"/setupx", true, false, 1, {"setup"}},
      {"/setup /s", true, true, 1, {"setup", "s"}},
      {"/setup-s", true, true, 1, {"setup", "s"}},  // two switches in one word
      {"/wait", false, false, 1, {"wait"}},
      {"/Waiting", false, false, 1, {"wait"}},
      {"/warning", false, false, 1, {"warning"}},
      {"/wait /warning", false, false, 2, {"wait", "warning"}},
      {"/warning /wait", false, false, 2, {"warning", "wait"}},
      {"/restart /warning", false, false, 2, {"restart", "warning"}},
      {"C:/x", false, false, 1, {"other"}},
      {"\"C:\\Program Files\\x\"", false, false, 0, {}},
      {"read-only", false, false, 1, {"other"}},
      {"/", false, false, 1, {"other"}},       // a lone slash: an empty word
      {"-", false, false, 1, {"other"}},
      {"//", false, false, 2, {"other", "other"}},
      {"/s-", false, true, 1, {"s", "other"}},
      {"/s/s", false, true, 0, {"s", "s"}},
      {"/s /silent", false, true, 1, {"s", "other"}},
      {"a-b-c", false, false, 2, {"other", "other"}},
      // the log's file name holds no switches, and the log switch is not counted
      {"/s /log=C:\\my-logs\\u.log", false, true, 0, {"s", "log"}},
      {"/log=\"C:\\Path with blanks\\u-1.log\" /s", false, true, 0, {"log", "s"}},
      {"/log=\"u.log\"-s", false, true, 0, {"log", "s"}},
      {"/log=a/b /wait", false, false, 1, {"log", "wait"}},
      {"/setup /log=u.log", true, false, 1, {"setup", "log"}},
      {"/log=\"C:\\no end -s", false, false, 0, {"log"}},
      {"/log= /s", false, true, 0, {"log", "s"}},
      {"/log", false, false, 1, {"other"}},
  };
  for (const ScanCase& c : cases) {
    SCOPED_TRACE(c.tail);
    std::vector<std::string> actions;
    SwitchScan scan = ScanSwitches(c.tail, Record, &actions);
    EXPECT_EQ(scan.Setup, c.setup);
    EXPECT_EQ(scan.Silent, c.silent);
    EXPECT_EQ(scan.Counted, c.counted);
    EXPECT_EQ(actions, c.actions);
  }
}

TEST(ScanSwitches, RunsWithoutAnAction) {
  SwitchScan scan = ScanSwitches("/setup /s", nullptr, nullptr);
  EXPECT_TRUE(scan.Setup);
  EXPECT_TRUE(scan.Silent);
  EXPECT_EQ(scan.Counted, 1);
}

TEST(LogSwitchName, EndsAtABlankOrTheClosingQuote) {
  const struct {
    const char* word;
    const char* name;
    const char* rest;  // where the scan goes on
  } cases[] = {
      {"log=u.log /s", "u.log", " /s"},
      {"log=C:\\my-logs\\u.log\t-s", "C:\\my-logs\\u.log", "\t-s"},
      {"log=\"C:\\a b\\u.log\" /s", "C:\\a b\\u.log", " /s"},
      {"log=\"C:\\a b", "C:\\a b", ""},
      {"log=", "", ""},
      {"LOG=\"\"x", "", "x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.word);
    SwitchName name = LogSwitchName(c.word);
    EXPECT_EQ(std::string(name.Text, name.Length), c.name);
    EXPECT_STREQ(name.Next, c.rest);
  }
}

TEST(NextSwitch, FindsTheWordAfterEachMark) {
  const char tail[] = "a/b-c";
  const char* first = NextSwitch(tail);
  ASSERT_EQ(first, tail + 2);
  const char* second = NextSwitch(first);
  ASSERT_EQ(second, tail + 4);
  EXPECT_EQ(NextSwitch(second), nullptr);
  EXPECT_EQ(NextSwitch(""), nullptr);
}

}  // namespace
