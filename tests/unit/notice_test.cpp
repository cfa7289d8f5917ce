#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/notice.h"
#include "tests/unit/lead_table.h"

namespace {

const size_t kNoticeSize = 512;

// Composes into a 512-byte buffer followed by guard bytes.
struct Composed {
  Composed(const std::string& first, const std::string& second, const std::string& path,
           size_t size = kNoticeSize)
      : buffer(size + 16, '#') {
    complete = ComposeUninstallNotice(buffer.data(), size, first.c_str(), second.c_str(), path.c_str());
    text = buffer.data();
    for (size_t i = size; i < buffer.size(); ++i)
      if (buffer[i] != '#') overrun = true;
  }
  std::vector<char> buffer;
  std::string text;
  bool complete = false;
  bool overrun = false;
};

TEST(ComposeUninstallNotice, FirstLineLineFeedAndFormattedSecondLine) {
  Composed notice("Uninstall complete", "Delete %s by hand", "C:\\Zobrix\\uninstall.exe");
  EXPECT_TRUE(notice.complete);
  EXPECT_FALSE(notice.overrun);
  EXPECT_EQ(notice.text, "Uninstall complete\nDelete C:\\Zobrix\\uninstall.exe by hand");
}

TEST(ComposeUninstallNotice, ChineseMessages) {
  auto gbk = Gbk();
  // "卸载已完成" and "你应该手动删除 %s" in code page 936
  Composed notice("\xD0\xB6\xD4\xD8\xD2\xD1\xCD\xEA\xB3\xC9",
                  "\xC4\xE3\xD3\xA6\xB8\xC3\xCA\xD6\xB6\xAF\xC9\xBE\xB3\xFD %s", "C:\\a.exe");
  EXPECT_TRUE(notice.complete);
  EXPECT_EQ(notice.text, "\xD0\xB6\xD4\xD8\xD2\xD1\xCD\xEA\xB3\xC9\n"
                         "\xC4\xE3\xD3\xA6\xB8\xC3\xCA\xD6\xB6\xAF\xC9\xBE\xB3\xFD C:\\a.exe");
}

TEST(ComposeUninstallNotice, PercentSequencesInTheArgumentAreText) {
  Composed notice("done", "delete %s", "C:\\100%s%n%d\\u.exe");
  EXPECT_EQ(notice.text, "done\ndelete C:\\100%s%n%d\\u.exe");
}

TEST(ComposeUninstallNotice, LiteralPercentInTheFormat) {
  Composed notice("done", "100%% sure: %s", "p");
  EXPECT_EQ(notice.text, "done\n100% sure: p");
}

struct UnsafeFormatCase {
  const char* second;
};

TEST(ComposeUninstallNotice, OtherConversionsAreShownUnformatted) {
  // A translation could hold any '%' sequence; none of them may reach a
  // format: the line is shown as it stands.
  const char* cases[] = {"%n%n%n%n", "%s %s", "%x %s", "%d", "no path here", "%5s", "%"};
  for (const char* second : cases) {
    SCOPED_TRACE(second);
    Composed notice("done", second, "C:\\u.exe");
    EXPECT_TRUE(notice.complete);
    EXPECT_EQ(notice.text, std::string("done\n") + second);
  }
}

TEST(ComposeUninstallNotice, ExactlyFillingTheBuffer) {
  std::string first(100, 'a');
  std::string path(511 - 100 - 1 - 2, 'p');  // first line, line feed, "x " and the path
  Composed notice(first, "x %s", path);
  EXPECT_TRUE(notice.complete);
  EXPECT_FALSE(notice.overrun);
  EXPECT_EQ(notice.text.size(), 511u);
  EXPECT_EQ(notice.text, first + "\nx " + path);
}

TEST(ComposeUninstallNotice, OneByteTooLongIsCut) {
  std::string first(100, 'a');
  std::string path(511 - 100 - 1 - 2 + 1, 'p');
  Composed notice(first, "x %s", path);
  EXPECT_FALSE(notice.complete);
  EXPECT_FALSE(notice.overrun);
  EXPECT_EQ(notice.text.size(), 511u);
  EXPECT_EQ(notice.text, (first + "\nx " + path).substr(0, 511));
}

TEST(ComposeUninstallNotice, LongTranslationsAndPathNeverOverrun) {
  // regression: 255-byte translations and a long program path exceed 512 bytes
  std::string first(255, 'f');
  std::string second = std::string(126, 'g') + "%s" + std::string(127, 'h');
  std::string path = "C:\\" + std::string(1000, 'p') + "\\uninstall.exe";
  Composed notice(first, second, path);
  EXPECT_FALSE(notice.complete);
  EXPECT_FALSE(notice.overrun);
  EXPECT_EQ(notice.text.size(), 511u);
  EXPECT_EQ(notice.text, (first + "\n" + std::string(126, 'g') + path).substr(0, 511));
}

TEST(ComposeUninstallNotice, NothingFollowsACut) {
  // the text after the path would fit in the space the cut path left, but a
  // notice with a gap in its middle would read as a different path
  std::string path(600, 'p');
  Composed notice("a", "%s!", path);
  EXPECT_EQ(notice.text, "a\n" + path.substr(0, 509));
}

TEST(ComposeUninstallNotice, CutNeverSplitsADoubleByteCharacter) {
  auto gbk = Gbk();
  // "\xD6\xD0" repeated: the 511th byte would be a lead byte
  std::string first = "ab";
  std::string path;
  for (int i = 0; i < 300; ++i) path += "\xD6\xD0";
  Composed notice(first, "%s", path);
  EXPECT_FALSE(notice.complete);
  EXPECT_FALSE(notice.overrun);
  // "ab\n" is 3 bytes; 508 bytes of path = 254 whole characters
  EXPECT_EQ(notice.text.size(), 3u + 508u);
  EXPECT_EQ(notice.text, "ab\n" + path.substr(0, 508));
  Composed odd("abc", "%s", path);
  // "abc\n" is 4 bytes; 507 would split a character, so 506
  EXPECT_EQ(odd.text.size(), 4u + 506u);
}

TEST(ComposeUninstallNotice, CutInsideTheFirstLine) {
  auto gbk = Gbk();
  std::string first = "a";
  for (int i = 0; i < 300; ++i) first += "\xC4\xE3";
  Composed notice(first, "%s", "C:\\u.exe");
  EXPECT_FALSE(notice.complete);
  EXPECT_FALSE(notice.overrun);
  EXPECT_EQ(notice.text, first.substr(0, 511));  // 1 + 255 characters of 2 bytes
}

TEST(ComposeUninstallNotice, TinyBuffers) {
  Composed one("abc", "%s", "p", 1);
  EXPECT_EQ(one.text, "");
  EXPECT_FALSE(one.overrun);
  EXPECT_FALSE(one.complete);
  Composed exact("a", "%s", "p", 4);
  EXPECT_EQ(exact.text, "a\np");
  EXPECT_TRUE(exact.complete);
  EXPECT_FALSE(exact.overrun);
}

}  // namespace
