#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "lang/lang_file.h"

namespace {

const char kMarkerLine[] = "***messages***\r\n";

std::string Key(const char* src, const char* context, TextKind kind) {
  char key[9];
  LangFile::MakeKey(key, src, context, kind);
  return key;
}

std::string MessageKey(const char* src) { return Key(src, nullptr, TextKind::Message); }

std::string Entry(const std::string& key, const std::string& text) {
  return key + "=\"" + text + "\"\r\n";
}

// A language file filled from the text of a messages section.
class LoadedFile {
 public:
  explicit LoadedFile(const std::string& section) {
    EXPECT_TRUE(file.LoadSection(section.data(), section.size()));
    EXPECT_TRUE(file.IsLoaded());
  }
  std::string Translate(const char* src, const char* context = nullptr,
                        TextKind kind = TextKind::Message, size_t size = 1024) const {
    std::vector<char> out(size + 8, '#');
    file.Translate(src, out.data(), size, context, kind);
    for (size_t i = size; i < out.size(); ++i) EXPECT_EQ(out[i], '#') << "written past the buffer";
    return std::string(out.data());
  }
  LangFile file;
};

TEST(LangFileKey, WorkedKeys) {
  EXPECT_EQ(Key("LTR", "LTR", TextKind::Window), "50a17ae8");
  EXPECT_EQ(Key("", "SETUPDLG", TextKind::Window), "9b889d24");
  EXPECT_EQ(Key("", nullptr, TextKind::Message), "1b0ecf0b");
}

TEST(LangFileKey, ContextAndKindChangeTheKey) {
  EXPECT_NE(Key("OK", nullptr, TextKind::Message), Key("OK", nullptr, TextKind::Window));
  EXPECT_NE(Key("OK", "DONEDLG", TextKind::Window), Key("OK", "SETUPDLG", TextKind::Window));
  // the seed, the context and the text are one byte string
  EXPECT_EQ(Key("CDEF", "AB", TextKind::Window), Key("EF", "ABCD", TextKind::Window));
  EXPECT_EQ(Key("AB", "", TextKind::Window), Key("AB", nullptr, TextKind::Window));
}

TEST(LangFileTranslate, NotLoadedCopiesTheSource) {
  LangFile file;
  EXPECT_FALSE(file.IsLoaded());
  char out[16] = "garbage";
  file.Translate("hello", out, sizeof(out), nullptr, TextKind::Message);
  EXPECT_STREQ(out, "hello");
  char same[16] = "in place";
  file.Translate(same, same, sizeof(same), nullptr, TextKind::Message);
  EXPECT_STREQ(same, "in place");
}

TEST(LangFileTranslate, NotLoadedSourceLongerThanTheBufferIsCut) {
  LangFile file;
  char out[8];
  std::memset(out, '#', sizeof(out));
  file.Translate("abcdefghij", out, 4, nullptr, TextKind::Message);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(out[4], '#');
}

TEST(LangFileTranslate, HitsAndMisses) {
  LoadedFile loaded(std::string("comment before\r\n") + kMarkerLine +
                    Entry(MessageKey("Yes"), "Ja") + Entry(MessageKey("No"), "Nein") +
                    Entry(Key("OK", "SETUPDLG", TextKind::Window), "Gut") +
                    Entry(Key("LTR", "LTR", TextKind::Window), "RTL") +
                    Entry(MessageKey(""), "empty message"));
  struct Case {
    const char* src;
    const char* context;
    TextKind kind;
    const char* result;
  } cases[] = {
      {"Yes", nullptr, TextKind::Message, "Ja"},
      {"No", nullptr, TextKind::Message, "Nein"},
      {"Maybe", nullptr, TextKind::Message, "Maybe"},
      {"OK", "SETUPDLG", TextKind::Window, "Gut"},
      {"OK", "DONEDLG", TextKind::Window, "OK"},
      {"OK", nullptr, TextKind::Message, "OK"},
      {"Yes", nullptr, TextKind::Window, "Yes"},
      {"LTR", "LTR", TextKind::Window, "RTL"},
      {"", nullptr, TextKind::Message, "empty message"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.src);
    EXPECT_EQ(loaded.Translate(c.src, c.context, c.kind), c.result);
  }
}

TEST(LangFileTranslate, InPlace) {
  LoadedFile loaded(std::string(kMarkerLine) + Entry(MessageKey("Yes"), "Jawohl"));
  char text[256] = "Yes";
  loaded.file.Translate(text, text, sizeof(text), nullptr, TextKind::Message);
  EXPECT_STREQ(text, "Jawohl");
  char miss[256] = "Nope";
  loaded.file.Translate(miss, miss, sizeof(miss), nullptr, TextKind::Message);
  EXPECT_STREQ(miss, "Nope");
}

TEST(LangFileTranslate, ManyEntriesAreAllFoundByBisection) {
  std::string section = kMarkerLine;
  for (int i = 0; i < 700; ++i)
    section += Entry(MessageKey(("text " + std::to_string(i)).c_str()), "t" + std::to_string(i));
  LoadedFile loaded(section);
  EXPECT_EQ(loaded.file.LineIndex.Count, 700);
  for (int i = 0; i < 700; ++i)
    EXPECT_EQ(loaded.Translate(("text " + std::to_string(i)).c_str()), "t" + std::to_string(i));
  EXPECT_EQ(loaded.Translate("text 700"), "text 700");
}

TEST(LangFileTranslate, FirstLineIsFoundOnlyByTheScan) {
  // The first line is never indexed (in a file it is the marker line), so
  // an entry there is reached by the linear scan.
  LoadedFile loaded(Entry(MessageKey("first"), "erste") + Entry(MessageKey("second"), "zweite"));
  ASSERT_EQ(loaded.file.LineIndex.Count, 1);
  EXPECT_EQ(loaded.Translate("first"), "erste");
  EXPECT_EQ(loaded.Translate("second"), "zweite");
}

TEST(LangFileTranslate, LineWithoutEqualsAndQuoteIsFoundOnlyByBisection) {
  std::string key = MessageKey("Yes");
  // indexed: the bisection compares the key bytes only
  LoadedFile indexed(std::string(kMarkerLine) + key + "xxJa\"\r\n");
  EXPECT_EQ(indexed.Translate("Yes"), "Ja");
  // first line, not indexed: the scan wants "=" and a quote after the key
  LoadedFile scanned(key + "xxJa\"\r\n" + Entry(MessageKey("No"), "Nein"));
  EXPECT_EQ(scanned.Translate("Yes"), "Yes");
}

TEST(LangFileTranslate, KeyOnlyLineAtTheEndIsNotReadPastTheSection) {
  // an indexed line that holds the key and nothing after it
  std::string key = MessageKey("Yes");
  LoadedFile loaded(std::string(kMarkerLine) + Entry(MessageKey("No"), "Nein") + key + "=");
  EXPECT_EQ(loaded.Translate("Yes"), "");
  LoadedFile bare(std::string(kMarkerLine) + Entry(MessageKey("No"), "Nein") + key + "\r\n");
  EXPECT_EQ(bare.Translate("Yes"), "");
}

TEST(LangFileTranslate, UppercaseKeysAreNeverFound) {
  std::string key = MessageKey("Yes");
  std::string upper = key;
  std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
  ASSERT_NE(upper, key);  // the key holds a letter digit
  LoadedFile loaded(std::string(kMarkerLine) + Entry(upper, "Ja"));
  EXPECT_EQ(loaded.Translate("Yes"), "Yes");
}

TEST(LangFileTranslate, EscapedQuotesAreKept) {
  LoadedFile loaded(std::string(kMarkerLine) + Entry(MessageKey("Yes"), "say \\\"hi\\\" now"));
  EXPECT_EQ(loaded.Translate("Yes"), "say \"hi\" now");
}

TEST(LangFileTranslate, OnlyTheLastQuoteEndsTheText) {
  LoadedFile loaded(std::string(kMarkerLine) + MessageKey("Yes") + "=\"a\" b \"c\" trailing\r\n");
  EXPECT_EQ(loaded.Translate("Yes"), "a\" b \"c");
}

TEST(LangFileTranslate, EntryWithoutClosingQuoteKeepsTheFormFeed) {
  LoadedFile loaded(std::string(kMarkerLine) + MessageKey("Yes") + "=\"open text\r\n" +
                    Entry(MessageKey("No"), "Nein"));
  EXPECT_EQ(loaded.Translate("Yes"), "open text\f");
  EXPECT_EQ(loaded.Translate("No"), "Nein");
}

TEST(LangFileTranslate, LastLineWithoutClosingQuoteIsReadFor255Bytes) {
  std::string long_text(300, 'x');
  LoadedFile loaded(std::string(kMarkerLine) + MessageKey("Yes") + "=\"" + long_text);
  EXPECT_EQ(loaded.Translate("Yes"), std::string(255, 'x'));
  LoadedFile quoted(std::string(kMarkerLine) + MessageKey("Yes") + "=\"short\" after");
  EXPECT_EQ(quoted.Translate("Yes"), "short");
}

TEST(LangFileTranslate, OutputExactlyFillingTheBuffer) {
  LoadedFile loaded(std::string(kMarkerLine) + Entry(MessageKey("Yes"), "123456789"));
  EXPECT_EQ(loaded.Translate("Yes", nullptr, TextKind::Message, 10), "123456789");
}

TEST(LangFileTranslate, TranslationOneByteTooLongGivesTheSource) {
  LoadedFile loaded(std::string(kMarkerLine) + Entry(MessageKey("Yes"), "1234567890"));
  EXPECT_EQ(loaded.Translate("Yes", nullptr, TextKind::Message, 10), "Yes");
  // in place the source simply stays
  char text[10] = "Yes";
  loaded.file.Translate(text, text, sizeof(text), nullptr, TextKind::Message);
  EXPECT_STREQ(text, "Yes");
}

TEST(LangFileTranslate, LongLineBeforeTheFormFeedDoesNotOverrun) {
  // the copy rule takes the whole line up to its form feed: far more than
  // a message buffer holds
  std::string long_text(5000, 'y');
  LoadedFile loaded(std::string(kMarkerLine) + Entry(MessageKey("Yes"), long_text));
  EXPECT_EQ(loaded.Translate("Yes", nullptr, TextKind::Message, 256), "Yes");
  EXPECT_EQ(loaded.Translate("Yes", nullptr, TextKind::Message, 5001), long_text);
}

TEST(LangFileTranslate, QuoteAfterTheCutIsNotSeenOnTheLastLine) {
  // 255 bytes are taken, then cut at their last quote
  std::string text = "ab\"" + std::string(300, 'z') + "\"";
  LoadedFile loaded(std::string(kMarkerLine) + MessageKey("Yes") + "=\"" + text);
  EXPECT_EQ(loaded.Translate("Yes"), "ab");
}

TEST(LangFileLoad, EscapesAreResolved) {
  LoadedFile loaded(std::string(kMarkerLine) +
                    Entry(MessageKey("a"), "line\\nbreak") + Entry(MessageKey("b"), "cr\\rtab\\t") +
                    Entry(MessageKey("c"), "back\\\\slash") + Entry(MessageKey("d"), "keep\\x") +
                    Entry(MessageKey("e"), "\\\\\\\""));
  EXPECT_EQ(loaded.Translate("a"), "line\nbreak");  // one entry, a real line feed
  EXPECT_EQ(loaded.Translate("b"), "cr\rtab\t");
  EXPECT_EQ(loaded.Translate("c"), "back\\slash");
  EXPECT_EQ(loaded.Translate("d"), "keep\\x");
  EXPECT_EQ(loaded.Translate("e"), "\\\"");
  EXPECT_EQ(loaded.file.LineIndex.Count, 5);
}

TEST(LangFileLoad, BackslashAsLastByteStays) {
  LangFile file;
  const char section[] = "***messages***\r\nabc\\";
  ASSERT_TRUE(file.LoadSection(section, sizeof(section) - 1));
  EXPECT_STREQ(file.Data, "***messages***\f\fabc\\");
  EXPECT_EQ(file.Size, static_cast<int32_t>(std::strlen(file.Data)));
}

TEST(LangFileLoad, EscapeBytesAreRewrittenInPlace) {
  LangFile file;
  const char section[] = "M\r\nx\\\"y\\\\z\\n\\r\\t\\q\n";
  ASSERT_TRUE(file.LoadSection(section, sizeof(section) - 1));
  EXPECT_STREQ(file.Data, "M\f\fx\"y\\z\n\r\t\\q\f");
  EXPECT_EQ(file.Size, 14);
}

// The keys of the indexed lines, in index order.
std::vector<std::string> IndexedKeys(const LangFile& file) {
  std::vector<std::string> keys;
  for (int32_t i = 0; i < file.LineIndex.Count; ++i)
    keys.push_back(std::string(file.Data + file.LineIndex.Items[i], 8));
  return keys;
}

TEST(LangFileLoad, LineEndsAndBlankLinesGiveTheSameIndex) {
  std::string a = MessageKey("a") + "=\"1\"", b = MessageKey("b") + "=\"2\"",
              c = MessageKey("c") + "=\"3\"";
  const std::string sections[] = {
      "***messages***\r\n" + a + "\r\n" + b + "\r\n" + c + "\r\n",
      "***messages***\n" + a + "\n" + b + "\n" + c,
      "***messages***\r" + a + "\r" + b + "\r" + c + "\r",
      "***messages***\r\n\r\n" + a + "\r\n\r\n\n\n" + b + "\r\r" + c + "\r\n\r\n",
  };
  std::vector<std::string> expected;
  for (const std::string& section : sections) {
    LoadedFile loaded(section);
    std::vector<std::string> keys = IndexedKeys(loaded.file);
    EXPECT_EQ(keys.size(), 3u);
    if (expected.empty()) expected = keys;
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(loaded.Translate("a"), "1");
    EXPECT_EQ(loaded.Translate("b"), "2");
    EXPECT_EQ(loaded.Translate("c"), "3");
  }
}

TEST(LangFileLoad, IndexIsSortedAndSkipsShortLastLines) {
  std::string section = kMarkerLine;
  for (const char* text : {"zeta", "alpha", "mu", "beta", "omega"}) section += Entry(MessageKey(text), text);
  section += "12345678";  // starts within the last 8 bytes: too short to be an entry
  LoadedFile loaded(section);
  std::vector<std::string> keys = IndexedKeys(loaded.file);
  EXPECT_EQ(keys.size(), 5u);
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  for (int32_t i = 0; i < loaded.file.LineIndex.Count; ++i) {
    int32_t offset = loaded.file.LineIndex.Items[i];
    EXPECT_GT(offset, 0);
    EXPECT_EQ(loaded.file.Data[offset - 1], '\f');
  }
}

TEST(LangFileLoad, NulHidesEverythingAfterIt) {
  std::string section = std::string(kMarkerLine) + Entry(MessageKey("a"), "1");
  section += '\0';
  section += Entry(MessageKey("b"), "2");
  LoadedFile loaded(section);
  EXPECT_EQ(loaded.Translate("a"), "1");
  EXPECT_EQ(loaded.Translate("b"), "b");
  EXPECT_EQ(loaded.file.LineIndex.Count, 1);
}

TEST(LangFileLoad, OnlyTheFirst65536BytesAreKept) {
  std::string section = kMarkerLine;
  std::string filler = "; " + std::string(97, '-') + "\r\n";
  while (section.size() + filler.size() < 65536 - 64) section += filler;
  std::string inside = Entry(MessageKey("inside"), "in");
  section += inside;
  section += std::string(65536 - section.size(), ';');  // exactly up to the limit
  section += "\r\n" + Entry(MessageKey("outside"), "out");
  LoadedFile loaded(section);
  EXPECT_EQ(loaded.file.Size, 65536);
  EXPECT_EQ(loaded.Translate("inside"), "in");
  EXPECT_EQ(loaded.Translate("outside"), "outside");
}

TEST(LangFileLoad, IndexGrowsByAQuarterPlus32) {
  struct Case {
    int lines;
    int32_t capacity;
  } cases[] = {{1, 32}, {32, 32}, {33, 72}, {72, 72}, {73, 122}, {123, 184}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    std::string section = kMarkerLine;
    for (int i = 0; i < c.lines; ++i) section += Entry(MessageKey(std::to_string(i).c_str()), "x");
    LoadedFile loaded(section);
    EXPECT_EQ(loaded.file.LineIndex.Count, c.lines);
    EXPECT_EQ(loaded.file.LineIndex.Capacity, c.capacity);
  }
}

TEST(LangFileLoad, ReloadReplacesAndClearUnloads) {
  LoadedFile loaded(std::string(kMarkerLine) + Entry(MessageKey("a"), "first"));
  std::string second = std::string(kMarkerLine) + Entry(MessageKey("b"), "second");
  ASSERT_TRUE(loaded.file.LoadSection(second.data(), second.size()));
  EXPECT_EQ(loaded.Translate("a"), "a");
  EXPECT_EQ(loaded.Translate("b"), "second");
  loaded.file.Clear();
  EXPECT_FALSE(loaded.file.IsLoaded());
  EXPECT_EQ(loaded.file.Size, 0);
  EXPECT_EQ(loaded.file.LineIndex.Count, 0);
  EXPECT_EQ(loaded.Translate("b"), "b");
}

TEST(LangFileLoad, EmptySectionIsLoadedButFindsNothing) {
  LangFile file;
  ASSERT_TRUE(file.LoadSection("", 0));
  EXPECT_TRUE(file.IsLoaded());
  char out[8];
  file.Translate("a", out, sizeof(out), nullptr, TextKind::Message);
  EXPECT_STREQ(out, "a");
}

}  // namespace
