// The built program's resources: dialog templates, string table, icon groups
// and manifest, read from its file.  Each dialog is created
// for real and read back through the A and W window functions, so the texts
// are checked as the program sees them in the ANSI code page (936 here).
#include <gtest/gtest.h>
#include <windows.h>
#include <richedit.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/control_ids.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wine_env.h"

namespace {

using testenv::Widen;
using testenv::WideToAnsi;

// The program file under test, loaded for its resources only.
HMODULE Module() {
  static HMODULE program =
      LoadLibraryExA(testenv::UninstallExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  return program;
}

std::string Ansi(const char* utf8) { return WideToAnsi(Widen(utf8)); }

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// ------------------------------------------------------------ dialog tables

enum class Kind { GroupBox, Text, CentredText, EtchedLine, CheckBox, Button, DefaultButton, RichEdit };

struct ControlSpec {
  int id;
  Kind kind;
  const char* text;  // UTF-8; nullptr: not compared here (own wording)
  short x, y, cx, cy;
};

struct DialogSpec {
  const char* name;
  const char* caption;
  bool centred;
  short x, y, cx, cy;
  std::vector<ControlSpec> controls;  // in template (z) order
};

const char kRichEditText[] =
    "   这些选项控制 Zobrix 集成到 Windows 中。第一组选项允许选择可以 Zobrix 关联的文件类型。"
    "第二组让你选择 Zobrix 可执行文件链接的位置。而最后一组选项可以调节 Zobrix 集成到 "
    "Windows 资源管理器中的属性。外壳整合提供方便的功能,像文件右键菜单的“解压”项目,"
    "所以通常没有禁止它的必要。\r\n"
    "    点击“帮助”按钮可以阅读关于这些选项的更多详细描述。";

const DialogSpec& SetupDialog() {
  static const DialogSpec spec = {
      "SETUPDLG", "Zobrix 简体中文版安装", true, 0, 0, 331, 232,
      {
          {-1, Kind::GroupBox, "Zobrix 关联文件", 7, 5, 127, 132},
          {ids::kAssocFirst, Kind::CheckBox, "KEX(&R)", 16, 21, 46, 12},
          {ids::kAssocFirst + 1, Kind::CheckBox, "ZIP(&Z)", 16, 33, 51, 12},
          {ids::kAssocFirst + 2, Kind::CheckBox, "CAB", 16, 45, 37, 12},
          {ids::kAssocFirst + 3, Kind::CheckBox, "ARJ", 16, 57, 37, 12},
          {ids::kAssocFirst + 4, Kind::CheckBox, "LZH", 16, 69, 37, 12},
          {ids::kAssocFirst + 5, Kind::CheckBox, "ACE", 16, 81, 37, 12},
          {ids::kAssocFirst + 6, Kind::CheckBox, "TAR", 80, 21, 37, 12},
          {ids::kAssocFirst + 7, Kind::CheckBox, "GZip", 80, 33, 37, 12},
          {ids::kAssocFirst + 8, Kind::CheckBox, "UUE", 80, 45, 37, 12},
          {ids::kAssocFirst + 9, Kind::CheckBox, "BZ2", 80, 57, 37, 12},
          {ids::kAssocFirst + 10, Kind::CheckBox, "JAR", 80, 69, 37, 12},
          {ids::kAssocIso, Kind::CheckBox, "ISO", 80, 81, 37, 12},
          {-1, Kind::EtchedLine, "", 8, 114, 127, 1},
          {ids::kSelectAll, Kind::Button, "全部选择(&A)", 16, 119, 50, 14},
          {-1, Kind::GroupBox, "界面", 140, 5, 184, 57},
          {ids::kDesktop, Kind::CheckBox, "在桌面创建 Zobrix 快捷方式(&D)", 148, 19, 170, 12},
          {ids::kStartMenu, Kind::CheckBox, "在开始菜单创建 Zobrix 快捷方式(&S)", 148, 31, 170, 12},
          {ids::kPrograms, Kind::CheckBox, "创建 Zobrix 程序组(&P)", 148, 43, 170, 12},
          {-1, Kind::GroupBox, "外壳整合设置", 140, 65, 184, 72},
          {ids::kShellExt, Kind::CheckBox, "把 Zobrix 整合到资源管理器中(&I)", 148, 78, 170, 12},
          {ids::kCascadedMenu, Kind::CheckBox, "层叠右键关联菜单(&T)", 148, 90, 170, 12},
          {ids::kMenuIcons, Kind::CheckBox, "在右键关联菜单中显示图标(&N)", 148, 102, 170, 12},
          {ids::kContextItems, Kind::Button, "选择关联菜单项目(&C)...", 148, 119, 100, 14},
          {-1, Kind::GroupBox, "", 7, 139, 317, 68},
          {ids::kSetupText, Kind::RichEdit, kRichEditText, 12, 147, 306, 55},
          {IDOK, Kind::Button, "确定", 111, 214, 50, 14},
          {ids::kHelp, Kind::Button, "帮助", 169, 214, 50, 14},
      }};
  return spec;
}

const DialogSpec& DoneDialog() {
  static const DialogSpec spec = {
      "DONEDLG", "Zobrix 简体中文版安装", true, 0, 0, 331, 228,
      {
          {-1, Kind::GroupBox, "", 8, 2, 314, 125},
          {-1, Kind::Text, "Zobrix 已经成功地安装到文件夹", 17, 14, 120, 8},
          {ids::kInstallFolder, Kind::Text, "", 138, 14, 176, 8},
          {-1, Kind::Text, "使用 Zobrix “选项”菜单中的“设置...”命令可以定制更多的选项。", 17, 33, 297, 16},
          {-1, Kind::Text, "如果这是你第一次安装 Zobrix,请不要忘记阅读在线帮助。", 17, 53, 297, 16},
          {ids::kInfoFirst, Kind::Text, nullptr, 17, 74, 297, 22},
          {ids::kInfoSecond, Kind::Text, nullptr, 17, 101, 297, 16},
          {ids::kRunArchiver, Kind::Button, "运行 Zobrix(&R)", 11, 134, 66, 14},
          {ids::kReadHelp, Kind::Button, "阅读帮助(&H)", 80, 134, 60, 14},
          {ids::kViewLicense, Kind::Button, "查看许可(&L)", 142, 134, 60, 14},
          {ids::kPriceList, Kind::Button, "价格列表(&P)", 204, 134, 59, 14},
          {ids::kHomePage, Kind::Button, "主页(&M)", 265, 134, 54, 14},
          {-1, Kind::GroupBox, "", 8, 152, 314, 50},
          {ids::kThanks, Kind::CentredText, "感谢使用 Zobrix 简体中文版!", 17, 173, 297, 8},
          {IDOK, Kind::Button, "完成", 140, 209, 50, 14},
      }};
  return spec;
}

const DialogSpec& ContextItemsDialog() {
  static const DialogSpec spec = {
      "CONTEXTITEMS", "关联菜单项目", false, 42, 45, 243, 188,
      {
          {-1, Kind::GroupBox, "选择显示在资源管理器右键菜单中的项目", 7, 7, 229, 154},
          {101, Kind::CheckBox, "解压文件(&A)...", 16, 21, 210, 12},
          {102, Kind::CheckBox, "解压到当前文件夹(&X)", 16, 33, 210, 12},
          {103, Kind::CheckBox, "解压到<文件夹\\>(&E)", 16, 45, 210, 12},
          {104, Kind::CheckBox, "解压每个压缩文件到单独的文件夹(&S)", 16, 57, 210, 12},
          {105, Kind::CheckBox, "用 Zobrix 打开(用于自解压文件)", 16, 69, 210, 12},
          {106, Kind::CheckBox, "添加到压缩文件中(&A)...", 16, 81, 210, 12},
          {107, Kind::CheckBox, "添加到<压缩文件名>(&T)", 16, 93, 210, 12},
          {108, Kind::CheckBox, "压缩到<压缩文件名>并 E-mail", 16, 105, 210, 12},
          {109, Kind::CheckBox, "压缩并 E-mail...", 16, 117, 210, 12},
          {110, Kind::CheckBox, "测试压缩文件(&R)", 16, 129, 210, 12},
          {111, Kind::CheckBox, "转换压缩文件格式(&V)...", 16, 141, 210, 12},
          {IDOK, Kind::DefaultButton, "确定", 35, 168, 50, 14},
          {IDCANCEL, Kind::Button, "取消", 97, 168, 50, 14},
          {ids::kHelp, Kind::Button, "帮助", 158, 168, 50, 14},
      }};
  return spec;
}

std::vector<const DialogSpec*> AllDialogs() {
  return {&SetupDialog(), &DoneDialog(), &ContextItemsDialog()};
}

// ------------------------------------------------------------ templates

// A classic DLGTEMPLATE as the resource compiler wrote it.
struct TemplateItem {
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  WORD id = 0;
  WORD class_atom = 0;  // 0x80 button, 0x82 static; 0 when named
  std::wstring class_name;
  std::wstring text;
};

struct DialogTemplate {
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::wstring caption;
  WORD point_size = 0;
  std::wstring face;
  std::vector<TemplateItem> items;
};

class TemplateReader {
 public:
  TemplateReader(const BYTE* data, size_t size) : data_(data), size_(size) {}
  bool ok() const { return ok_; }
  void AlignTo(size_t n) { pos_ = (pos_ + n - 1) / n * n; }
  WORD Word() {
    if (pos_ + 2 > size_) { ok_ = false; return 0; }
    WORD w;
    std::memcpy(&w, data_ + pos_, 2);
    pos_ += 2;
    return w;
  }
  DWORD Dword() {
    DWORD low = Word();
    return low | (DWORD(Word()) << 16);
  }
  std::wstring String() {
    std::wstring s;
    for (WORD c = Word(); ok_ && c != 0; c = Word()) s += wchar_t(c);
    return s;
  }
  // A name or an ordinal (0xFFFF then the number).
  void NameOrOrdinal(WORD* ordinal, std::wstring* name) {
    WORD first = Word();
    *ordinal = 0;
    name->clear();
    if (first == 0xFFFF) {
      *ordinal = Word();
    } else if (first != 0) {
      *name += wchar_t(first);
      *name += String();
    }
  }

 private:
  const BYTE* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

bool LoadDialogTemplate(const char* name, DialogTemplate* out) {
  HRSRC found = FindResourceA(Module(), name, MAKEINTRESOURCEA(5));  // RT_DIALOG
  if (found == nullptr) return false;
  const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(Module(), found)));
  if (data == nullptr) return false;
  TemplateReader r(data, SizeofResource(Module(), found));
  out->style = r.Dword();
  r.Dword();  // extended style
  WORD count = r.Word();
  out->x = short(r.Word());
  out->y = short(r.Word());
  out->cx = short(r.Word());
  out->cy = short(r.Word());
  WORD ordinal;
  std::wstring name_text;
  r.NameOrOrdinal(&ordinal, &name_text);  // menu
  r.NameOrOrdinal(&ordinal, &name_text);  // window class
  out->caption = r.String();
  if (out->style & DS_SETFONT) {
    out->point_size = r.Word();
    out->face = r.String();
  }
  for (WORD i = 0; i < count && r.ok(); ++i) {
    TemplateItem item;
    r.AlignTo(4);
    item.style = r.Dword();
    r.Dword();  // extended style
    item.x = short(r.Word());
    item.y = short(r.Word());
    item.cx = short(r.Word());
    item.cy = short(r.Word());
    item.id = r.Word();
    r.NameOrOrdinal(&item.class_atom, &item.class_name);
    WORD text_ordinal;
    r.NameOrOrdinal(&text_ordinal, &item.text);
    WORD extra = r.Word();
    for (WORD skip = 0; skip < (extra + 1) / 2; ++skip) r.Word();
    out->items.push_back(item);
  }
  return r.ok();
}

// Class and style bits that each kind of control must have in the template.
struct KindTraits {
  WORD class_atom;           // 0 for a class given by name
  const wchar_t* class_name; // as GetClassName reports it (case ignored)
  DWORD type_mask;
  DWORD type;
  DWORD required;            // further bits that must all be set
  bool tab_stop;
};

KindTraits TraitsOf(Kind kind) {
  const DWORD rich = ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL;
  switch (kind) {
    case Kind::GroupBox: return {0x80, L"Button", BS_TYPEMASK, BS_GROUPBOX, 0, false};
    case Kind::Text: return {0x82, L"Static", SS_TYPEMASK, SS_LEFT, 0, false};
    case Kind::CentredText: return {0x82, L"Static", SS_TYPEMASK, SS_CENTER, 0, false};
    case Kind::EtchedLine: return {0x82, L"Static", SS_TYPEMASK, SS_ETCHEDHORZ, 0, false};
    case Kind::CheckBox: return {0x80, L"Button", BS_TYPEMASK, BS_AUTOCHECKBOX, 0, true};
    case Kind::Button: return {0x80, L"Button", BS_TYPEMASK, BS_PUSHBUTTON, 0, true};
    case Kind::DefaultButton: return {0x80, L"Button", BS_TYPEMASK, BS_DEFPUSHBUTTON, 0, true};
    case Kind::RichEdit: return {0, L"RICHEDIT", 0, 0, rich, true};
  }
  return {};
}

// ------------------------------------------------------------ live dialogs

INT_PTR CALLBACK QuietDlgProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG;
}

class Dialog {
 public:
  Dialog(const char* name, HWND owner = nullptr)
      : hwnd_(CreateDialogParamA(Module(), name, owner, QuietDlgProc, 0)), error_(GetLastError()) {}
  ~Dialog() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  }
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;
  HWND get() const { return hwnd_; }
  DWORD error() const { return error_; }

 private:
  HWND hwnd_;
  DWORD error_;
};

std::wstring TextW(HWND hwnd) {
  // Twice the length: Wine hands an ANSI control (the rich-edit box) a byte
  // buffer of the same count, which its double-byte text does not fit.
  std::vector<wchar_t> buf(2 * GetWindowTextLengthW(hwnd) + 2);
  int n = GetWindowTextW(hwnd, buf.data(), int(buf.size()));
  return std::wstring(buf.data(), n);
}

std::string TextA(HWND hwnd) {
  std::vector<char> buf(2 * GetWindowTextLengthA(hwnd) + 2);
  int n = GetWindowTextA(hwnd, buf.data(), int(buf.size()));
  return std::string(buf.data(), n);
}

std::vector<HWND> Children(HWND dlg) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(dlg, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
    children.push_back(child);
  return children;
}

// Where the dialog manager puts a control: position and size in dialog units
// are converted separately, as it does when it creates the control.
RECT ExpectedPixels(HWND dlg, short x, short y, short cx, short cy) {
  RECT origin = {x, y, x, y};
  RECT size = {0, 0, cx, cy};
  MapDialogRect(dlg, &origin);
  MapDialogRect(dlg, &size);
  return {origin.left, origin.top, origin.left + size.right, origin.top + size.bottom};
}

RECT ClientRectOf(HWND dlg, HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  POINT top_left = {r.left, r.top}, bottom_right = {r.right, r.bottom};
  ScreenToClient(dlg, &top_left);
  ScreenToClient(dlg, &bottom_right);
  return {top_left.x, top_left.y, bottom_right.x, bottom_right.y};
}

std::string Describe(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " - " + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

class Resources : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The setup dialog's text box is of the class that riched32 registers.
    char path[MAX_PATH];
    UINT n = GetSystemDirectoryA(path, MAX_PATH - 20);
    lstrcpyA(path + n, "\\riched32.dll");
    rich_edit_ = LoadLibraryA(path);
  }
  static void TearDownTestSuite() {
    if (rich_edit_ != nullptr) FreeLibrary(rich_edit_);
    rich_edit_ = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(nullptr, rich_edit_) << "riched32.dll did not load";
    ASSERT_NE(nullptr, Module()) << "cannot read " << testenv::UninstallExePath();
  }

  static HMODULE rich_edit_;
};

HMODULE Resources::rich_edit_ = nullptr;

// ------------------------------------------------------------ templates as written

TEST_F(Resources, DialogTemplatesHoldEveryControlAsSpecified) {
  for (const DialogSpec* spec : AllDialogs()) {
    SCOPED_TRACE(spec->name);
    DialogTemplate t;
    ASSERT_TRUE(LoadDialogTemplate(spec->name, &t));

    const DWORD frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    EXPECT_EQ(frame, t.style & frame);
    EXPECT_EQ(spec->centred, (t.style & DS_CENTER) != 0);
    EXPECT_EQ(0u, t.style & (WS_VISIBLE | WS_CHILD | WS_THICKFRAME | DS_ABSALIGN));
    EXPECT_EQ(spec->x, t.x);
    EXPECT_EQ(spec->y, t.y);
    EXPECT_EQ(spec->cx, t.cx);
    EXPECT_EQ(spec->cy, t.cy);
    EXPECT_EQ(Widen(spec->caption), t.caption);
    EXPECT_EQ(9, t.point_size);
    EXPECT_EQ(Widen("宋体"), t.face);

    ASSERT_EQ(spec->controls.size(), t.items.size());
    for (size_t i = 0; i < t.items.size(); ++i) {
      const ControlSpec& c = spec->controls[i];
      const TemplateItem& item = t.items[i];
      SCOPED_TRACE("control " + std::to_string(i) + ", id " + std::to_string(c.id));
      KindTraits traits = TraitsOf(c.kind);
      EXPECT_EQ(WORD(c.id), item.id);
      EXPECT_EQ(c.x, item.x);
      EXPECT_EQ(c.y, item.y);
      EXPECT_EQ(c.cx, item.cx);
      EXPECT_EQ(c.cy, item.cy);
      EXPECT_EQ(traits.class_atom, item.class_atom);
      if (traits.class_atom == 0) { EXPECT_EQ(std::wstring(traits.class_name), item.class_name); }
      EXPECT_EQ(traits.type, item.style & traits.type_mask);
      EXPECT_EQ(traits.required, item.style & traits.required);
      EXPECT_EQ(DWORD(WS_CHILD | WS_VISIBLE), item.style & (WS_CHILD | WS_VISIBLE));
      EXPECT_EQ(traits.tab_stop, (item.style & WS_TABSTOP) != 0);
      EXPECT_EQ(0u, item.style & WS_DISABLED);
      if (c.text != nullptr) { EXPECT_EQ(Widen(c.text), item.text); }
    }
  }
}

// Regression: a quoted resource name right after a quoted file name is joined
// to it by the resource compiler, so the icon group names must stay bare
// words in the script; both dialogs and icons must be found by their names.
TEST_F(Resources, NamedResourcesAreFoundByTheNamesTheCodeUses) {
  for (const char* name : {"SETUPDLG", "DONEDLG", "CONTEXTITEMS"}) {
    SCOPED_TRACE(name);
    EXPECT_NE(nullptr, FindResourceA(Module(), name, MAKEINTRESOURCEA(5)));
  }
  for (const char* name : {"DELICON", "KEXICON"}) {
    SCOPED_TRACE(name);
    EXPECT_NE(nullptr, FindResourceA(Module(), name, MAKEINTRESOURCEA(14)));
    EXPECT_NE(nullptr, LoadIconA(Module(), name));
  }
}

// ------------------------------------------------------------ dialogs as created

TEST_F(Resources, DialogsShowTheirTextsThroughTheWideAndAnsiFunctions) {
  for (const DialogSpec* spec : AllDialogs()) {
    SCOPED_TRACE(spec->name);
    Dialog dlg(spec->name);
    ASSERT_NE(nullptr, dlg.get()) << "CreateDialogParamA failed, error " << dlg.error();

    EXPECT_EQ(Widen(spec->caption), TextW(dlg.get()));
    EXPECT_EQ(Ansi(spec->caption), TextA(dlg.get()));

    std::vector<HWND> children = Children(dlg.get());
    ASSERT_EQ(spec->controls.size(), children.size());
    for (size_t i = 0; i < children.size(); ++i) {
      const ControlSpec& c = spec->controls[i];
      SCOPED_TRACE("control " + std::to_string(i) + ", id " + std::to_string(c.id));
      HWND child = children[i];
      EXPECT_EQ(WORD(c.id), WORD(GetDlgCtrlID(child)));
      if (c.id != -1) { EXPECT_EQ(child, GetDlgItem(dlg.get(), c.id)); }
      if (c.text == nullptr) continue;
      EXPECT_EQ(Widen(c.text), TextW(child));
      EXPECT_EQ(Ansi(c.text), TextA(child));
    }
  }
}

// The ANSI texts as explicit GBK bytes, so a wrong code page or a source file
// read in another encoding shows up even where both conversions agree.
TEST_F(Resources, DialogTextsArriveAsGbkBytes) {
  ASSERT_EQ(936u, GetACP()) << "these tests run with LC_ALL=zh_CN.UTF-8";
  struct Case {
    const char* dialog;
    int id;  // 0: the caption
    const char* bytes;
  } cases[] = {
      {"SETUPDLG", 0,
       "Zobrix \xbc\xf2\xcc\xe5\xd6\xd0\xce\xc4\xb0\xe6\xb0\xb2\xd7\xb0"},  // 简体中文版安装
      {"SETUPDLG", IDOK, "\xc8\xb7\xb6\xa8"},                               // 确定
      {"SETUPDLG", ids::kHelp, "\xb0\xef\xd6\xfa"},                    // 帮助
      {"SETUPDLG", ids::kAssocFirst, "KEX(&R)"},
      {"CONTEXTITEMS", 0, "\xb9\xd8\xc1\xaa\xb2\xcb\xb5\xa5\xcf\xee\xc4\xbf"},  // 关联菜单项目
      {"CONTEXTITEMS", 101, "\xbd\xe2\xd1\xb9\xce\xc4\xbc\xfe(&A)..."},          // 解压文件
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.dialog) + " " + std::to_string(c.id));
    Dialog dlg(c.dialog);
    ASSERT_NE(nullptr, dlg.get());
    HWND window = c.id == 0 ? dlg.get() : GetDlgItem(dlg.get(), c.id);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(Hex(c.bytes), Hex(TextA(window)));
  }
}

TEST_F(Resources, ControlsHaveTheirClassesAndStyles) {
  for (const DialogSpec* spec : AllDialogs()) {
    SCOPED_TRACE(spec->name);
    Dialog dlg(spec->name);
    ASSERT_NE(nullptr, dlg.get());
    std::vector<HWND> children = Children(dlg.get());
    ASSERT_EQ(spec->controls.size(), children.size());
    for (size_t i = 0; i < children.size(); ++i) {
      const ControlSpec& c = spec->controls[i];
      SCOPED_TRACE("control " + std::to_string(i) + ", id " + std::to_string(c.id));
      KindTraits traits = TraitsOf(c.kind);
      wchar_t class_name[64] = {};
      GetClassNameW(children[i], class_name, 64);
      EXPECT_EQ(0, lstrcmpiW(traits.class_name, class_name)) << Widen("class ") << class_name;
      DWORD style = GetWindowLongW(children[i], GWL_STYLE);
      EXPECT_TRUE(style & WS_CHILD);
      if (c.kind == Kind::Button || c.kind == Kind::DefaultButton) {
        // the dialog manager moves the default look between push buttons as
        // the focus moves, so the window only says it is a push button
        DWORD type = style & BS_TYPEMASK;
        EXPECT_TRUE(type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) << type;
      } else if (c.kind == Kind::RichEdit) {
        const DWORD edit = ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
        EXPECT_EQ(edit, style & edit);
        EXPECT_TRUE(SendMessageW(children[i], EM_GETOPTIONS, 0, 0) & ECO_READONLY);
      } else {
        EXPECT_EQ(traits.type, style & traits.type_mask);
      }
      EXPECT_EQ(traits.tab_stop, (style & WS_TABSTOP) != 0);
    }
  }
}

// Before the focus first moves, the buttons look as the templates made them.
TEST_F(Resources, OnlyTheContextItemsDialogHasADefaultButton) {
  struct Case {
    const char* dialog;
    DWORD ok_type;
  } cases[] = {{"CONTEXTITEMS", BS_DEFPUSHBUTTON}, {"SETUPDLG", BS_PUSHBUTTON}, {"DONEDLG", BS_PUSHBUTTON}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dialog);
    Dialog dlg(c.dialog);
    ASSERT_NE(nullptr, dlg.get());
    HWND ok = GetDlgItem(dlg.get(), IDOK);
    ASSERT_NE(nullptr, ok);
    EXPECT_EQ(c.ok_type, DWORD(GetWindowLongW(ok, GWL_STYLE)) & BS_TYPEMASK);
    EXPECT_EQ(c.ok_type == BS_DEFPUSHBUTTON ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON,
              SendMessageW(ok, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON));
  }
}

TEST_F(Resources, ControlsSitWhereTheirDialogUnitsSay) {
  for (const DialogSpec* spec : AllDialogs()) {
    SCOPED_TRACE(spec->name);
    Dialog dlg(spec->name);
    ASSERT_NE(nullptr, dlg.get());

    RECT client;
    GetClientRect(dlg.get(), &client);
    RECT expected_client = ExpectedPixels(dlg.get(), 0, 0, spec->cx, spec->cy);
    EXPECT_EQ(Describe(expected_client), Describe(client));

    std::vector<HWND> children = Children(dlg.get());
    ASSERT_EQ(spec->controls.size(), children.size());
    for (size_t i = 0; i < children.size(); ++i) {
      const ControlSpec& c = spec->controls[i];
      SCOPED_TRACE("control " + std::to_string(i) + ", id " + std::to_string(c.id));
      RECT expected = ExpectedPixels(dlg.get(), c.x, c.y, c.cx, c.cy);
      RECT actual = ClientRectOf(dlg.get(), children[i]);
      if (c.kind == Kind::EtchedLine) {
        // the static control gives an etched line a static edge, which may
        // widen it by its two border pixels
        EXPECT_EQ(expected.left, actual.left);
        EXPECT_EQ(expected.top, actual.top);
        EXPECT_EQ(expected.bottom - expected.top, actual.bottom - actual.top);
        EXPECT_GE(actual.right, expected.right);
        EXPECT_LE(actual.right, expected.right + 2);
      } else {
        EXPECT_EQ(Describe(expected), Describe(actual));
      }
    }
  }
}

TEST_F(Resources, DialogsHaveAModalFrameCaptionAndSystemMenu) {
  for (const DialogSpec* spec : AllDialogs()) {
    SCOPED_TRACE(spec->name);
    Dialog dlg(spec->name);
    ASSERT_NE(nullptr, dlg.get());
    DWORD style = GetWindowLongW(dlg.get(), GWL_STYLE);
    DWORD ex_style = GetWindowLongW(dlg.get(), GWL_EXSTYLE);
    const DWORD frame = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    EXPECT_EQ(frame, style & frame);
    EXPECT_EQ(0u, style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_TRUE(ex_style & WS_EX_DLGMODALFRAME);
  }
}

TEST_F(Resources, DialogsUseNinePointSongTi) {
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  for (const DialogSpec* spec : AllDialogs()) {
    SCOPED_TRACE(spec->name);
    Dialog dlg(spec->name);
    ASSERT_NE(nullptr, dlg.get());
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(dlg.get(), WM_GETFONT, 0, 0));
    ASSERT_NE(nullptr, font);
    LOGFONTW lf = {};
    ASSERT_EQ(int(sizeof(lf)), GetObjectW(font, sizeof(lf), &lf));
    EXPECT_EQ(Widen("宋体"), std::wstring(lf.lfFaceName));
    EXPECT_EQ(-MulDiv(9, dpi, 72), lf.lfHeight);
  }
}

TEST_F(Resources, SetupAndDoneDialogsAreCentredOnTheScreen) {
  for (const DialogSpec* spec : {&SetupDialog(), &DoneDialog()}) {
    SCOPED_TRACE(spec->name);
    Dialog dlg(spec->name);
    ASSERT_NE(nullptr, dlg.get());
    RECT window;
    GetWindowRect(dlg.get(), &window);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(dlg.get(), MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    EXPECT_NEAR((work.left + work.right) / 2, (window.left + window.right) / 2, 1);
    EXPECT_NEAR((work.top + work.bottom) / 2, (window.top + window.bottom) / 2, 1);
  }
}

// Not centred: its client area starts 42, 45 dialog units (of its own font)
// from the top left of the owner's client area.
TEST_F(Resources, ContextItemsDialogOpensAtItsOffsetFromTheOwner) {
  Dialog owner("SETUPDLG");
  ASSERT_NE(nullptr, owner.get());
  Dialog dlg("CONTEXTITEMS", owner.get());
  ASSERT_NE(nullptr, dlg.get());
  POINT origin = {0, 0};
  ClientToScreen(owner.get(), &origin);
  RECT offset = {42, 45, 42, 45};
  MapDialogRect(dlg.get(), &offset);
  POINT client = {0, 0};
  ClientToScreen(dlg.get(), &client);
  EXPECT_EQ(origin.x + offset.left, client.x);
  EXPECT_EQ(origin.y + offset.top, client.y);
  EXPECT_EQ(owner.get(), GetWindow(dlg.get(), GW_OWNER));
}

// The two information paragraphs of the completion dialog are this program's
// own wording: Chinese text about the archiver that fits its static.
TEST_F(Resources, InformationParagraphsFitTheirStatics) {
  Dialog dlg("DONEDLG");
  ASSERT_NE(nullptr, dlg.get());
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(dlg.get(), WM_GETFONT, 0, 0));
  for (int id : {ids::kInfoFirst, ids::kInfoSecond}) {
    SCOPED_TRACE(id);
    HWND control = GetDlgItem(dlg.get(), id);
    ASSERT_NE(nullptr, control);
    std::wstring text = TextW(control);
    ASSERT_FALSE(text.empty());
    EXPECT_TRUE(std::any_of(text.begin(), text.end(), [](wchar_t c) { return c >= 0x4E00 && c <= 0x9FFF; }));
    EXPECT_EQ(text, testenv::AnsiToWide(TextA(control))) << "not representable in code page 936";
    EXPECT_EQ(font, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));

    RECT box;
    GetClientRect(control, &box);
    RECT needed = {0, 0, box.right, 0};
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, font);
    DrawTextW(dc, text.c_str(), int(text.size()), &needed, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    EXPECT_LE(needed.bottom, box.bottom) << "the paragraph needs more lines than its static shows";
  }
  std::wstring first = TextW(GetDlgItem(dlg.get(), ids::kInfoFirst));
  EXPECT_NE(std::wstring::npos, first.find(L"KEX"));
  EXPECT_NE(std::wstring::npos, first.find(L"ZIP"));
}

// ------------------------------------------------------------ string table

struct StringCase {
  int id;
  const char* text;
};

const StringCase kStrings[] = {
    {5101, "Zobrix 压缩文件管理器"},
    {5102, "Zobrix 中文帮助"},
    {5103, "控制台 KEX 中文手册"},
    {5104, "卸载 Zobrix"},
    {5105, "卸载已完成"},
    {5106, "你应该手动删除 %s"},
    {5107, "确实要卸载 Zobrix 吗?"},
    {5108, "无法打开列表文件 %s"},
    {5109, "Zobrix 压缩文件"},
    {5110, "Zobrix ZIP 压缩文件"},
    {5111, "KEX 恢复卷"},
    {5112, "https://www.zobrix.com/"},
    {5113, "处理 KEX、ZIP 和其他压缩格式"},
    {5114, "以下程序正在使用 Zobrix 的文件:\n%s\n\n关闭这些程序后按“重试”再检查一次;按“取消”继续卸载,"
           "仍在使用的文件将在重新启动计算机后删除。"},
    {5115, "重新启动计算机后将完成删除。"},
    {5120, "Zobrix 所在文件夹的名称或路径长度不受支持,无法处理。未做任何更改。"},
    {5121, "Zobrix 的另一个安装或卸载程序正在运行。请在它结束后再试。未做任何更改。"},
};

TEST_F(Resources, StringTableHoldsEveryMessageInTheAnsiCodePage) {
  for (const StringCase& s : kStrings) {
    SCOPED_TRACE(s.id);
    char buf[256];
    int n = LoadStringA(Module(), s.id, buf, sizeof(buf));
    EXPECT_EQ(Ansi(s.text), std::string(buf, n > 0 ? n : 0));
    wchar_t wide[256];
    n = LoadStringW(Module(), s.id, wide, 256);
    EXPECT_EQ(Widen(s.text), std::wstring(wide, n > 0 ? n : 0));
  }
}

TEST_F(Resources, StringTableEndsAtItsFirstAndLastMessage) {
  char buf[256];
  EXPECT_EQ(0, LoadStringA(Module(), 5101 - 1, buf, sizeof(buf)));
  EXPECT_EQ(0, LoadStringA(Module(), 5121 + 1, buf, sizeof(buf)));
}

TEST_F(Resources, UninstallCaptionIsGbkBytes) {
  ASSERT_EQ(936u, GetACP()) << "these tests run with LC_ALL=zh_CN.UTF-8";
  char buf[256];
  int n = LoadStringA(Module(), 5104, buf, sizeof(buf));
  // 卸载 Zobrix
  EXPECT_EQ("d0 b6 d4 d8 20 5a 6f 62 72 69 78", Hex(std::string(buf, n > 0 ? n : 0)));
  // the question mark of the confirmation is the ASCII one
  n = LoadStringA(Module(), 5107, buf, sizeof(buf));
  ASSERT_GT(n, 0);
  EXPECT_EQ('?', buf[n - 1]);
}

// Both format messages take exactly one string argument.
TEST_F(Resources, FormatMessagesHoldOneStringConversion) {
  for (int id : {5106, 5108}) {
    SCOPED_TRACE(id);
    char buf[256];
    int n = LoadStringA(Module(), id, buf, sizeof(buf));
    std::string text(buf, n > 0 ? n : 0);
    size_t first = text.find('%');
    ASSERT_NE(std::string::npos, first);
    EXPECT_EQ("%s", text.substr(first, 2));
    EXPECT_EQ(std::string::npos, text.find('%', first + 1));
  }
}

// ------------------------------------------------------------ icons

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR list) {
  auto* names = reinterpret_cast<std::vector<std::string>*>(list);
  names->push_back(IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<ULONG_PTR>(name)) : name);
  return TRUE;
}

#pragma pack(push, 2)
struct GroupIconHeader {
  WORD reserved;
  WORD type;
  WORD count;
};
struct GroupIconEntry {
  BYTE width;
  BYTE height;
  BYTE colours;
  BYTE reserved;
  WORD planes;
  WORD bit_count;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

size_t RowBytes(int bits) { return size_t((bits + 31) / 32 * 4); }

TEST_F(Resources, DeleteIconComesFirstThenTheArchiverIcon) {
  std::vector<std::string> names;
  EnumResourceNamesA(Module(), MAKEINTRESOURCEA(14), CollectName, reinterpret_cast<LONG_PTR>(&names));
  EXPECT_EQ((std::vector<std::string>{"DELICON", "KEXICON"}), names);
}

TEST_F(Resources, ShellCountsTwoIconsInTheProgramFile) {
  EXPECT_EQ(2u, ExtractIconExA(testenv::UninstallExePath().c_str(), -1, nullptr, nullptr, 0));
}

TEST_F(Resources, IconGroupsHoldClassicBitmapImagesWithMasks) {
  struct Case {
    const char* group;
    std::vector<std::pair<int, int>> images;  // size, bits per pixel
  } cases[] = {
      {"DELICON", {{16, 4}, {16, 8}, {32, 4}, {32, 8}, {48, 4}, {48, 8}}},
      {"KEXICON", {{16, 4}, {16, 8}, {32, 4}, {32, 8}}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.group);
    HRSRC group = FindResourceA(Module(), c.group, MAKEINTRESOURCEA(14));
    ASSERT_NE(nullptr, group);
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(Module(), group)));
    DWORD size = SizeofResource(Module(), group);
    ASSERT_GE(size, sizeof(GroupIconHeader));
    GroupIconHeader header;
    std::memcpy(&header, data, sizeof(header));
    EXPECT_EQ(0, header.reserved);
    EXPECT_EQ(1, header.type);
    ASSERT_EQ(sizeof(header) + header.count * sizeof(GroupIconEntry), size_t(size));

    std::vector<std::pair<int, int>> found;
    for (WORD i = 0; i < header.count; ++i) {
      GroupIconEntry entry;
      std::memcpy(&entry, data + sizeof(header) + i * sizeof(entry), sizeof(entry));
      SCOPED_TRACE("image " + std::to_string(i));
      int edge = entry.width;
      int bits = entry.bit_count;
      found.emplace_back(edge, bits);
      EXPECT_EQ(entry.width, entry.height);
      EXPECT_EQ(bits == 4 ? 16 : 0, entry.colours);
      EXPECT_EQ(1, entry.planes);

      HRSRC image = FindResourceA(Module(), MAKEINTRESOURCEA(entry.id), MAKEINTRESOURCEA(3));
      ASSERT_NE(nullptr, image);
      DWORD image_size = SizeofResource(Module(), image);
      EXPECT_EQ(entry.bytes, image_size);
      const BYTE* bits_data = static_cast<const BYTE*>(LockResource(LoadResource(Module(), image)));
      ASSERT_GE(image_size, sizeof(BITMAPINFOHEADER));
      BITMAPINFOHEADER bih;
      std::memcpy(&bih, bits_data, sizeof(bih));
      EXPECT_EQ(40u, bih.biSize) << "not a BMP image (a PNG entry starts with 0x89 'PNG')";
      EXPECT_EQ(edge, bih.biWidth);
      EXPECT_EQ(2 * edge, bih.biHeight) << "the height counts the image and its AND mask";
      EXPECT_EQ(1, bih.biPlanes);
      EXPECT_EQ(bits, bih.biBitCount);
      EXPECT_EQ(DWORD(BI_RGB), bih.biCompression);

      size_t palette = size_t(4) << bits;
      size_t xor_bytes = RowBytes(edge * bits) * edge;
      size_t and_bytes = RowBytes(edge) * edge;
      ASSERT_EQ(sizeof(bih) + palette + xor_bytes + and_bytes, size_t(image_size))
          << "image, palette and AND mask must fill the entry";
      // the mask makes the corners transparent and the motif opaque
      const BYTE* mask = bits_data + sizeof(bih) + palette + xor_bytes;
      size_t transparent = 0;
      for (int y = 0; y < edge; ++y)
        for (int x = 0; x < edge; ++x)
          if (mask[y * RowBytes(edge) + x / 8] & (0x80 >> (x % 8))) ++transparent;
      EXPECT_GT(transparent, 0u);
      EXPECT_LT(transparent, size_t(edge * edge) / 2);
    }
    std::sort(found.begin(), found.end());
    EXPECT_EQ(c.images, found);
  }
}

// ------------------------------------------------------------ manifest

std::string Attribute(const std::string& element, const std::string& name) {
  std::string key = " " + name + "=\"";
  size_t at = element.find(key);
  if (at == std::string::npos) return "(missing)";
  at += key.size();
  return element.substr(at, element.find('"', at) - at);
}

// The first element <tag .../> at or after `from`.
std::string Element(const std::string& text, const std::string& tag, size_t from = 0) {
  size_t begin = text.find("<" + tag, from);
  if (begin == std::string::npos) return "";
  size_t end = text.find("/>", begin);
  return end == std::string::npos ? "" : text.substr(begin, end - begin);
}

TEST_F(Resources, ManifestAsksForCommonControlsSixOfThisArchitecture) {
#if defined(_WIN64)
  const std::string arch = "amd64";
#else
  const std::string arch = "X86";
#endif
  HRSRC found = FindResourceA(Module(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
  ASSERT_NE(nullptr, found);
  const char* data = static_cast<const char*>(LockResource(LoadResource(Module(), found)));
  std::string manifest(data, SizeofResource(Module(), found));

  EXPECT_NE(std::string::npos, manifest.find("<description>Zobrix archiver.</description>"));

  std::string own = Element(manifest, "assemblyIdentity");
  EXPECT_EQ(arch, Attribute(own, "processorArchitecture"));
  EXPECT_EQ("win32", Attribute(own, "type"));

  size_t dependency = manifest.find("<dependentAssembly>");
  ASSERT_NE(std::string::npos, dependency);
  std::string controls = Element(manifest, "assemblyIdentity", dependency);
  EXPECT_EQ("Microsoft.Windows.Common-Controls", Attribute(controls, "name"));
  EXPECT_EQ("6.0.0.0", Attribute(controls, "version"));
  EXPECT_EQ(arch, Attribute(controls, "processorArchitecture"));
  EXPECT_EQ("6595b64144ccf1df", Attribute(controls, "publicKeyToken"));
  EXPECT_EQ("win32", Attribute(controls, "type"));

  // Declared, so that Windows does not guess from the file name; in the
  // namespace where the loader looks for it.
  size_t trust = manifest.find("<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">");
  size_t trust_end = manifest.find("</trustInfo>");
  ASSERT_NE(std::string::npos, trust);
  ASSERT_NE(std::string::npos, trust_end);
  std::string trust_info = manifest.substr(trust, trust_end - trust);
  std::string level = Element(trust_info, "requestedExecutionLevel");
  EXPECT_EQ("requireAdministrator", Attribute(level, "level"));
  EXPECT_EQ("false", Attribute(level, "uiAccess"));
}

}  // namespace
