#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "lang/lang_file.h"
#include "lang/lang_library.h"
#include "lang/messages.h"
#include "res/resource.h"
#include "tests/support/temp_folder.h"

namespace {

// A message number that no string table holds.
const int kMissingMessage = 5199;

std::string OwnString(int id) {
  char text[256] = "";
  LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(id), text, sizeof(text));
  return text;
}

std::string MessageKey(const std::string& text) {
  char key[9];
  LangFile::MakeKey(key, text.c_str(), nullptr, TextKind::Message);
  return key;
}

// The test language library, built beside this program.
std::string TestLibraryPath() {
  char path[1024];
  GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string result = path;
  return result.substr(0, result.find_last_of('\\') + 1) + "test_kexlng.dll";
}

// Starts every test with the program's own resources and no language file,
// and puts the process-wide language state back afterwards.
class LanguageState : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_lang_module_ = hLangModule;
    saved_own_module_ = hOwnModule;
    saved_right_to_left_ = ProgramLangFile.RightToLeft;
    ProgramLangFile.Clear();
    ProgramLangLibrary.Load(GetModuleHandleA(nullptr), (empty_folder_ / "x.exe").c_str());
    ASSERT_FALSE(ProgramLangLibrary.Loaded);
  }
  void TearDown() override {
    ProgramLangLibrary.Unload();
    ProgramLangFile.Clear();
    ProgramLangFile.RightToLeft = saved_right_to_left_;
    hLangModule = saved_lang_module_;
    hOwnModule = saved_own_module_;
  }

  // Puts the test library into a folder as "kexlng.dll" and loads it from there.
  void CopyTestLibrary() {
    if (testenv::PathExists(library_folder_ / "kexlng.dll")) return;
    ASSERT_TRUE(CopyFileA(TestLibraryPath().c_str(), (library_folder_ / "kexlng.dll").c_str(), FALSE))
        << TestLibraryPath();
  }
  void LoadTestLibrary() {
    CopyTestLibrary();
    ProgramLangLibrary.Load(GetModuleHandleA(nullptr), (library_folder_ / "uninstall.exe").c_str());
    ASSERT_TRUE(ProgramLangLibrary.Loaded);
  }

  void LoadLanguageFile(const std::string& entries) {
    std::string section = "***messages***\r\n" + entries;
    ASSERT_TRUE(ProgramLangFile.LoadSection(section.data(), section.size()));
  }

  testenv::TempFolder empty_folder_{"nolib"};
  testenv::TempFolder library_folder_{"lib"};

 private:
  HINSTANCE saved_lang_module_ = nullptr;
  HINSTANCE saved_own_module_ = nullptr;
  bool saved_right_to_left_ = false;
};

using GetMsgTextTest = LanguageState;

TEST_F(GetMsgTextTest, OwnStringTable) {
  for (int id = MSG_DISPLAY_NAME; id <= MSG_SHORTCUT_COMMENT; ++id) {
    SCOPED_TRACE(id);
    std::string own = OwnString(id);
    EXPECT_FALSE(own.empty());
    EXPECT_EQ(GetMsgText(id), own);
  }
}

TEST_F(GetMsgTextTest, NinthCallReusesTheFirstBuffer) {
  const char* results[9];
  std::string expected[8];
  for (int i = 0; i < 8; ++i) {
    expected[i] = OwnString(MSG_DISPLAY_NAME + i);
    ASSERT_FALSE(expected[i].empty()) << MSG_DISPLAY_NAME + i;
    results[i] = GetMsgText(MSG_DISPLAY_NAME + i);
  }
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < i; ++j) EXPECT_NE(results[i], results[j]);
    EXPECT_EQ(results[i], expected[i]) << "result " << i << " changed before the ninth call";
  }
  results[8] = GetMsgText(MSG_HOME_PAGE);
  EXPECT_EQ(results[8], results[0]);
  EXPECT_EQ(std::string(results[0]), OwnString(MSG_HOME_PAGE));
  for (int i = 1; i < 8; ++i) EXPECT_EQ(results[i], expected[i]);
}

TEST_F(GetMsgTextTest, MissingMessageIsEmpty) {
  EXPECT_STREQ(GetMsgText(kMissingMessage), "");
}

TEST_F(GetMsgTextTest, MissingMessageTakesTheEntryForTheEmptyText) {
  LoadLanguageFile("1b0ecf0b=\"no such message\"\r\n");
  EXPECT_STREQ(GetMsgText(kMissingMessage), "no such message");
}

TEST_F(GetMsgTextTest, NoLibraryMeansOwnModule) {
  EXPECT_EQ(hLangModule, hOwnModule);
  EXPECT_EQ(hOwnModule, GetModuleHandleA(nullptr));
}

TEST_F(GetMsgTextTest, LibraryFirstThenOwnModule) {
  LoadTestLibrary();
  EXPECT_NE(hLangModule, hOwnModule);
  EXPECT_EQ(hOwnModule, GetModuleHandleA(nullptr));
  EXPECT_STREQ(GetMsgText(MSG_UNINSTALL_CAPTION), "Library caption");
  EXPECT_STREQ(GetMsgText(MSG_DISPLAY_NAME), "Library display name");
  // the library lacks these: the program's own table gives them
  EXPECT_EQ(GetMsgText(MSG_UNINSTALL_DONE), OwnString(MSG_UNINSTALL_DONE));
  EXPECT_EQ(GetMsgText(MSG_DELETE_BY_HAND), OwnString(MSG_DELETE_BY_HAND));
}

TEST_F(GetMsgTextTest, LanguageFileTranslatesTheOwnTextNotTheLibrarys) {
  LoadTestLibrary();
  std::string own_caption = OwnString(MSG_UNINSTALL_CAPTION);
  LoadLanguageFile(MessageKey(own_caption) + "=\"File caption\"\r\n" +
                   MessageKey("Library display name") + "=\"never used\"\r\n");
  EXPECT_STREQ(GetMsgText(MSG_UNINSTALL_CAPTION), "File caption");
  // no entry for the own text of 5101: the own text, not the library's
  EXPECT_EQ(GetMsgText(MSG_DISPLAY_NAME), OwnString(MSG_DISPLAY_NAME));
}

TEST_F(GetMsgTextTest, AfterUnloadTheOwnTableAnswers) {
  LoadTestLibrary();
  EXPECT_STREQ(GetMsgText(MSG_UNINSTALL_CAPTION), "Library caption");
  ProgramLangLibrary.Unload();
  EXPECT_FALSE(ProgramLangLibrary.Loaded);
  EXPECT_EQ(hLangModule, hOwnModule);
  EXPECT_EQ(GetMsgText(MSG_UNINSTALL_CAPTION), OwnString(MSG_UNINSTALL_CAPTION));
  // a second Unload changes nothing
  ProgramLangLibrary.Unload();
  EXPECT_EQ(hLangModule, GetModuleHandleA(nullptr));
}

TEST_F(GetMsgTextTest, TranslationLongerThanTheBufferGivesTheOwnText) {
  std::string own = OwnString(MSG_UNINSTALL_DONE);
  LoadLanguageFile(MessageKey(own) + "=\"" + std::string(300, 'x') + "\"\r\n");
  EXPECT_EQ(GetMsgText(MSG_UNINSTALL_DONE), own);
}

using GetMsgFormatTest = LanguageState;

TEST_F(GetMsgFormatTest, TranslationWithOneStringConversionIsUsed) {
  std::string own = OwnString(MSG_CANNOT_OPEN_LIST);
  LoadLanguageFile(MessageKey(own) + "=\"cannot open %s, 100%% sure\"\r\n");
  EXPECT_STREQ(GetMsgFormat(MSG_CANNOT_OPEN_LIST), "cannot open %s, 100%% sure");
}

TEST_F(GetMsgFormatTest, TranslationWithoutAnyConversionIsUsed) {
  std::string own = OwnString(MSG_CANNOT_OPEN_LIST);
  for (const char* translation : {"the file list is missing", "100%% missing"}) {
    SCOPED_TRACE(translation);
    ProgramLangFile.Clear();
    LoadLanguageFile(MessageKey(own) + "=\"" + translation + "\"\r\n");
    EXPECT_STREQ(GetMsgFormat(MSG_CANNOT_OPEN_LIST), translation);
  }
}

TEST_F(GetMsgFormatTest, TranslationThatCouldReachMemoryGivesTheOwnText) {
  std::string own = OwnString(MSG_CANNOT_OPEN_LIST);
  ASSERT_NE(own.find("%s"), std::string::npos);
  for (const char* translation : {"%n%s", "%s %s", "%d", "%x %s", "%*s", "%"}) {
    SCOPED_TRACE(translation);
    ProgramLangFile.Clear();
    LoadLanguageFile(MessageKey(own) + "=\"" + translation + "\"\r\n");
    ASSERT_STREQ(GetMsgText(MSG_CANNOT_OPEN_LIST), translation);
    EXPECT_EQ(GetMsgFormat(MSG_CANNOT_OPEN_LIST), own);
  }
}

TEST_F(GetMsgFormatTest, TheOwnTextStaysValidBesideTheCaption) {
  std::string own = OwnString(MSG_CANNOT_OPEN_LIST);
  LoadLanguageFile(MessageKey(own) + "=\"%p\"\r\n");
  const char* format = GetMsgFormat(MSG_CANNOT_OPEN_LIST);
  const char* caption = GetMsgText(MSG_UNINSTALL_CAPTION);
  EXPECT_EQ(format, own);
  EXPECT_EQ(caption, OwnString(MSG_UNINSTALL_CAPTION));
}

using LangLibraryTest = LanguageState;

TEST_F(LangLibraryTest, LoadingTwiceReleasesTheFirstLibrary) {
  LoadTestLibrary();
  std::string library = library_folder_ / "kexlng.dll";
  LoadTestLibrary();
  EXPECT_NE(GetModuleHandleA(library.c_str()), nullptr);
  ProgramLangLibrary.Unload();
  // one reference was left after the second load: a library loaded twice
  // without a release would still be mapped now
  EXPECT_EQ(GetModuleHandleA(library.c_str()), nullptr);
}

TEST_F(LangLibraryTest, PathNamesOnlyTheFolder) {
  CopyTestLibrary();
  ProgramLangLibrary.Load(GetModuleHandleA(nullptr), (library_folder_ / "anything.txt").c_str());
  EXPECT_TRUE(ProgramLangLibrary.Loaded);
  ProgramLangLibrary.Load(GetModuleHandleA(nullptr), (library_folder_.Path() + "\\").c_str());
  EXPECT_TRUE(ProgramLangLibrary.Loaded);
}

TEST_F(LangLibraryTest, PathTooLongForTheBufferLoadsNothing) {
  std::string path = library_folder_.Path() + "\\" + std::string(1100, 'a');
  ProgramLangLibrary.Load(GetModuleHandleA(nullptr), path.c_str());
  EXPECT_FALSE(ProgramLangLibrary.Loaded);
  EXPECT_EQ(hLangModule, GetModuleHandleA(nullptr));
}

using LayoutDirectionTest = LanguageState;

TEST_F(LayoutDirectionTest, LeftToRightWithoutLibraryOrFile) {
  ProgramLangFile.RightToLeft = true;
  ProgramLangFile.DecideLayoutDirection();
  EXPECT_FALSE(ProgramLangFile.RightToLeft);
}

TEST_F(LayoutDirectionTest, LanguageFileEntry) {
  LoadLanguageFile("50a17ae8=\"RTL\"\r\n");
  ProgramLangFile.DecideLayoutDirection();
  EXPECT_TRUE(ProgramLangFile.RightToLeft);
}

TEST_F(LayoutDirectionTest, OnlyTheExactWordCounts) {
  for (const char* value : {"rtl", "RTL ", "LTR", ""}) {
    SCOPED_TRACE(value);
    LoadLanguageFile(std::string("50a17ae8=\"") + value + "\"\r\n");
    ProgramLangFile.DecideLayoutDirection();
    EXPECT_FALSE(ProgramLangFile.RightToLeft);
  }
}

TEST_F(LayoutDirectionTest, LibraryWithRtlDialogWinsOverTheFile) {
  LoadTestLibrary();
  LoadLanguageFile("50a17ae8=\"LTR\"\r\n");
  ProgramLangFile.DecideLayoutDirection();
  EXPECT_TRUE(ProgramLangFile.RightToLeft);
}

TEST_F(LayoutDirectionTest, LoadDecidesEvenWithoutAFile) {
  LoadTestLibrary();
  ProgramLangFile.Load("uninstall.lng");
  EXPECT_TRUE(ProgramLangFile.RightToLeft);
}

}  // namespace
