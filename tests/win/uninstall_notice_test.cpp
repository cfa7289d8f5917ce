#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/uninstall_notice.h"
#include "lang/lang_file.h"
#include "lang/lang_library.h"
#include "res/resource.h"

namespace {

std::string OwnString(int id) {
  char text[256] = "";
  LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(id), text, sizeof(text));
  return text;
}

std::string ProgramPath() {
  char path[1024];
  GetModuleFileNameA(nullptr, path, sizeof(path));
  return path;
}

std::string WithPath(std::string format) {
  format.replace(format.find("%s"), 2, ProgramPath());
  return format;
}

std::string Entry(const std::string& source, const std::string& translation) {
  char key[9];
  LangFile::MakeKey(key, source.c_str(), nullptr, TextKind::Message);
  return std::string(key) + "=\"" + translation + "\"\r\n";
}

// The program's own resources, and a language file the test fills; both are
// put back afterwards.
class UninstallNoticeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_lang_module_ = hLangModule;
    saved_own_module_ = hOwnModule;
    hLangModule = hOwnModule = GetModuleHandleA(nullptr);
    ProgramLangFile.Clear();
  }
  void TearDown() override {
    ProgramLangFile.Clear();
    hLangModule = saved_lang_module_;
    hOwnModule = saved_own_module_;
  }
  void LoadLanguageFile(const std::string& entries) {
    std::string section = "***messages***\r\n" + entries;
    ASSERT_TRUE(ProgramLangFile.LoadSection(section.data(), section.size()));
  }
  // Builds the notice into 512 bytes followed by guard bytes.
  std::string Build(bool* complete, std::string* caption) {
    std::vector<char> text(512 + 16, '#');
    const char* shown_caption = nullptr;
    *complete = BuildUninstallNotice(text.data(), 512, &shown_caption);
    for (size_t i = 512; i < text.size(); ++i) EXPECT_EQ(text[i], '#') << "written past the notice";
    *caption = shown_caption ? shown_caption : "";
    return text.data();
  }

 private:
  HINSTANCE saved_lang_module_ = nullptr;
  HINSTANCE saved_own_module_ = nullptr;
};

TEST_F(UninstallNoticeTest, OwnTexts) {
  bool complete = false;
  std::string caption;
  std::string text = Build(&complete, &caption);
  EXPECT_TRUE(complete);
  EXPECT_EQ(caption, OwnString(MSG_UNINSTALL_CAPTION));
  EXPECT_EQ(text, OwnString(MSG_UNINSTALL_DONE) + "\n" + WithPath(OwnString(MSG_DELETE_BY_HAND)));
}

TEST_F(UninstallNoticeTest, TranslatedFormatWithOnePercentS) {
  LoadLanguageFile(Entry(OwnString(MSG_UNINSTALL_DONE), "Done") +
                   Entry(OwnString(MSG_DELETE_BY_HAND), "Delete %s by hand (100%%)") +
                   Entry(OwnString(MSG_UNINSTALL_CAPTION), "Uninstall"));
  bool complete = false;
  std::string caption;
  std::string text = Build(&complete, &caption);
  EXPECT_TRUE(complete);
  EXPECT_EQ(caption, "Uninstall");
  EXPECT_EQ(text, "Done\nDelete " + ProgramPath() + " by hand (100%)");

  // a translation may leave the path out
  ProgramLangFile.Clear();
  LoadLanguageFile(Entry(OwnString(MSG_UNINSTALL_DONE), "Done") +
                   Entry(OwnString(MSG_DELETE_BY_HAND), "Delete it by hand (100%%)"));
  EXPECT_EQ(Build(&complete, &caption), "Done\nDelete it by hand (100%)");
}

TEST_F(UninstallNoticeTest, TranslationWithOtherConversionsGivesTheOwnText) {
  // regression: a translation reaching a format could read or write memory
  for (const char* translation : {"%n%n%n%n", "%s %s", "%x %s", "%08s"}) {
    SCOPED_TRACE(translation);
    LoadLanguageFile(Entry(OwnString(MSG_UNINSTALL_DONE), "Done") +
                     Entry(OwnString(MSG_DELETE_BY_HAND), translation));
    bool complete = false;
    std::string caption;
    std::string text = Build(&complete, &caption);
    EXPECT_TRUE(complete);
    EXPECT_EQ(text, "Done\n" + WithPath(OwnString(MSG_DELETE_BY_HAND)));
  }
}

TEST_F(UninstallNoticeTest, LongTranslationsAreCutInsideTheBuffer) {
  // regression: two 255-byte texts and the path exceed 512 bytes
  std::string first(255, 'f');
  std::string second = std::string(120, 'g') + "%s" + std::string(133, 'h');
  LoadLanguageFile(Entry(OwnString(MSG_UNINSTALL_DONE), first) +
                   Entry(OwnString(MSG_DELETE_BY_HAND), second));
  bool complete = true;
  std::string caption;
  std::string text = Build(&complete, &caption);
  EXPECT_FALSE(complete);
  EXPECT_EQ(text.size(), 511u);
  EXPECT_EQ(text, (first + "\n" + std::string(120, 'g') + ProgramPath() + std::string(133, 'h')).substr(0, 511));
}

}  // namespace
