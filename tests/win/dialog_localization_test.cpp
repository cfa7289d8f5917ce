// The program's own dialog templates, created with a dialog procedure that
// calls the localisation as the common dialog handling does, then read back
// from their windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "lang/dialog_localization.h"
#include "lang/lang_file.h"
#include "res/resource.h"
#include "tests/support/dialog_geometry.h"
#include "tests/support/temp_folder.h"

namespace {

std::string Ansi(const char* utf8) { return testenv::WideToAnsi(testenv::Widen(utf8)); }

std::string Key(const std::string& text, const char* dialog) {
  char key[9];
  LangFile::MakeKey(key, text.c_str(), dialog, TextKind::Window);
  return key;
}

std::string Entry(const std::string& text, const char* dialog, const std::string& translation) {
  return Key(text, dialog) + "=\"" + translation + "\"\r\n";
}

// A text that a control of the setup dialog holds before localisation, as a
// language library's template may give it one. (Wine's rich-edit box hands
// out no text at all to a buffer too small for it.)
std::string LongText;
const int kLongTextControl = IDC_SELECT_ALL;

INT_PTR CALLBACK LocalizingDlgProc(HWND dialog, UINT message, WPARAM, LPARAM lparam) {
  switch (message) {
    case WM_SETFONT:
      SetRtlLayout(dialog);
      return FALSE;
    case WM_INITDIALOG:
      if (!LongText.empty()) SetDlgItemTextA(dialog, kLongTextControl, LongText.c_str());
      LocalizeDialog(dialog, reinterpret_cast<const char*>(lparam));
      return TRUE;
  }
  return FALSE;
}

struct Child {
  int id;
  std::string text;
  RECT rect;  // screen
  LONG ex_style;
};

struct Snapshot {
  bool created = false;
  RECT window{}, client{};
  int client_top = 0;  // screen
  LONG ex_style = 0;
  std::string caption;
  std::vector<Child> children;  // in z-order
};

std::string Text(HWND window) {
  std::string text(65536, '\0');
  text.resize(GetWindowTextA(window, &text[0], static_cast<int>(text.size())));
  return text;
}

Snapshot Read(HWND dialog) {
  Snapshot shot;
  shot.created = dialog != nullptr;
  if (!dialog) return shot;
  GetWindowRect(dialog, &shot.window);
  GetClientRect(dialog, &shot.client);
  POINT origin = {0, 0};
  ClientToScreen(dialog, &origin);
  shot.client_top = origin.y;
  shot.ex_style = GetWindowLongA(dialog, GWL_EXSTYLE);
  shot.caption = Text(dialog);
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    Child info{GetDlgCtrlID(child), Text(child), {}, GetWindowLongA(child, GWL_EXSTYLE)};
    GetWindowRect(child, &info.rect);
    shot.children.push_back(info);
  }
  DestroyWindow(dialog);
  return shot;
}

Snapshot Show(const char* name) {
  return Read(CreateDialogParamA(GetModuleHandleA(nullptr), name, nullptr, LocalizingDlgProc,
                                 reinterpret_cast<LPARAM>(name)));
}

class DialogLocalizationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char path[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(path, MAX_PATH), 0u);
    rich_edit_ = LoadLibraryA((std::string(path) + "\\riched32.dll").c_str());
    ASSERT_NE(rich_edit_, nullptr);
    saved_right_to_left_ = ProgramLangFile.RightToLeft;
    ProgramLangFile.Clear();
    ProgramLangFile.RightToLeft = false;
  }
  void TearDown() override {
    ProgramLangFile.Clear();
    ProgramLangFile.RightToLeft = saved_right_to_left_;
    if (rich_edit_) FreeLibrary(rich_edit_);
  }
  void Load(const std::string& entries) {
    std::string section = "***messages***\r\n" + entries;
    ASSERT_TRUE(ProgramLangFile.LoadSection(section.data(), section.size()));
  }

 private:
  HMODULE rich_edit_ = nullptr;
  bool saved_right_to_left_ = false;
};

const char* const kDialogs[] = {DLG_SETUP, DLG_DONE, DLG_CONTEXT_ITEMS};

TEST_F(DialogLocalizationTest, TextsTranslatedByDialogAndText) {
  const std::string ok = Ansi("确定");
  const std::string kex = Ansi("KEX(&R)");
  const std::string caption = Ansi("Zobrix 简体中文版安装");
  Load(Entry(caption, DLG_SETUP, "Zobrix Setup") + Entry(ok, DLG_SETUP, "OK") +
       Entry(kex, DLG_SETUP, "&KEX") + Entry(ok, DLG_CONTEXT_ITEMS, "Fine") +
       // the scale entry of the empty text must not fill empty controls
       Entry("", DLG_SETUP, "100*100") + Entry("", DLG_DONE, "hidden"));
  struct Expected {
    const char* name;
    std::string caption, ok;
    bool has_empty;
  } expected[] = {{DLG_SETUP, "Zobrix Setup", "OK", true},
                  {DLG_DONE, caption, Ansi("完成"), true},
                  {DLG_CONTEXT_ITEMS, Ansi("关联菜单项目"), "Fine", false}};
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.name);
    Snapshot shot = Show(e.name);
    ASSERT_TRUE(shot.created);
    EXPECT_EQ(shot.caption, e.caption);
    int empty = 0;
    for (const Child& child : shot.children) {
      if (child.id == IDOK) {
        EXPECT_EQ(child.text, e.ok);
      }
      if (child.id == IDC_ASSOC_KEX && e.name == std::string(DLG_SETUP)) {
        EXPECT_EQ(child.text, "&KEX");
      }
      if (child.text.empty()) ++empty;
      EXPECT_NE(child.text, "hidden");
      EXPECT_NE(child.text, "100*100");
    }
    // the empty group boxes and fields stay empty
    EXPECT_EQ(empty > 0, e.has_empty);
  }
}

// Untranslated texts stay as they are, one longer than the localisation's
// buffer whole, though the file translates others in the dialog.
TEST_F(DialogLocalizationTest, UntranslatedLongTextStaysWhole) {
  LongText = "x";  // the buffer's end falls inside a double-byte character
  while (LongText.size() < 1500) LongText += Ansi("未翻译的说明文字。");
  Load(Entry(Ansi("确定"), DLG_SETUP, "OK"));
  Snapshot shot = Show(DLG_SETUP);
  const std::string own = LongText;
  LongText.clear();
  ASSERT_TRUE(shot.created);
  for (const Child& child : shot.children) {
    if (child.id == kLongTextControl) {
      EXPECT_TRUE(child.text == own) << child.text.size() << " bytes of " << own.size();
    } else if (child.id == IDOK) {
      EXPECT_EQ(child.text, "OK");
    }
  }
}

testenv::DialogGeometry Geometry(const Snapshot& shot) {
  testenv::DialogGeometry geometry{shot.window, shot.client, shot.client_top, {}};
  for (const Child& child : shot.children) geometry.children.push_back(child.rect);
  return geometry;
}

void ExpectRescaled(const Snapshot& before, const Snapshot& after, int sw, int sh, bool mirrored) {
  testenv::ExpectRescaled(Geometry(before), Geometry(after), sw, sh, mirrored);
}

TEST_F(DialogLocalizationTest, ScaleEntryResizesKeepingTheCorner) {
  Snapshot before = Show(DLG_SETUP);
  ASSERT_TRUE(before.created);
  struct Case {
    const char* entry;
    int sw, sh;
  } cases[] = {{"120*110", 120, 110}, {"100*90", 100, 90}, {" +80*x", 80, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    ProgramLangFile.Clear();
    Load(Entry("", DLG_SETUP, c.entry));
    int sw = 0, sh = 0;
    EXPECT_TRUE(GetDialogScale(DLG_SETUP, &sw, &sh));
    EXPECT_EQ(sw, c.sw);
    EXPECT_EQ(sh, c.sh);
    ExpectRescaled(before, Show(DLG_SETUP), c.sw, c.sh, false);
  }
  // without an asterisk, or at 100 percent, nothing moves
  for (const char* entry : {"120", "100*100"}) {
    SCOPED_TRACE(entry);
    ProgramLangFile.Clear();
    Load(Entry("", DLG_SETUP, entry));
    int sw = 0, sh = 0;
    EXPECT_FALSE(GetDialogScale(DLG_SETUP, &sw, &sh));
    Snapshot after = Show(DLG_SETUP);
    EXPECT_TRUE(EqualRect(&after.window, &before.window));
    for (size_t i = 0; i < after.children.size(); ++i)
      EXPECT_TRUE(EqualRect(&after.children[i].rect, &before.children[i].rect)) << i;
  }
}

TEST_F(DialogLocalizationTest, RightToLeftMirrorsEveryDialog) {
  for (const char* name : kDialogs) {
    SCOPED_TRACE(name);
    ProgramLangFile.RightToLeft = false;
    Snapshot plain = Show(name);
    ProgramLangFile.RightToLeft = true;
    Snapshot mirrored = Show(name);
    ASSERT_TRUE(plain.created && mirrored.created);
    EXPECT_EQ(plain.ex_style & WS_EX_LAYOUTRTL, 0);
    EXPECT_EQ(mirrored.ex_style, plain.ex_style | WS_EX_LAYOUTRTL);
    ASSERT_EQ(mirrored.children.size(), plain.children.size());
    // each control sits where its mirror image was
    for (size_t i = 0; i < plain.children.size(); ++i) {
      const RECT& p = plain.children[i].rect;
      const RECT& m = mirrored.children[i].rect;
      EXPECT_EQ(m.right - mirrored.window.left, plain.window.right - p.left) << i;
      EXPECT_EQ(m.top, p.top) << i;
      EXPECT_NE(mirrored.children[i].ex_style & WS_EX_LAYOUTRTL, 0) << i;
    }
  }
}

TEST_F(DialogLocalizationTest, MirroredDialogRescalesFromItsRightEdge) {
  ProgramLangFile.RightToLeft = true;
  Snapshot before = Show(DLG_CONTEXT_ITEMS);
  ASSERT_TRUE(before.created);
  Load(Entry("", DLG_CONTEXT_ITEMS, "130*120"));
  ProgramLangFile.RightToLeft = true;
  ExpectRescaled(before, Show(DLG_CONTEXT_ITEMS), 130, 120, true);
}

}  // namespace
