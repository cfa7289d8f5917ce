#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "app/setup_dialog.h"
#include "app/state.h"
#include "tests/support/process_driver.h"

namespace {

// The setup dialog's text box needs the rich-edit class.
class SetupDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    ASSERT_GT(length, 0u);
    rich_edit_ = LoadLibraryA((std::string(path) + "\\riched32.dll").c_str());
    ASSERT_NE(rich_edit_, nullptr);
    saved_icon_ = AppIcon;
    AppIcon = LoadIconA(GetModuleHandleA(nullptr), "KEXICON");
    ASSERT_NE(AppIcon, nullptr) << "no \"KEXICON\" in the program's resources";
  }
  void TearDown() override {
    AppIcon = saved_icon_;
    if (rich_edit_) FreeLibrary(rich_edit_);
  }

  // Shows "SETUPDLG" modally; another thread closes it with the close box (it
  // has no Cancel button) once it is up, and ends the modal loop at once when
  // it does not come up or cannot be closed, instead of leaving it running.
  INT_PTR RunAndClose(HICON* shown_icon, bool* appeared) {
    const DWORD dialog_thread = GetCurrentThreadId();
    std::thread user([=] {
      HWND dialog = testenv::WaitForWindow(GetCurrentProcessId(), 10000);
      *appeared = dialog != nullptr;
      if (dialog) *shown_icon = testenv::WindowBigIcon(dialog);
      if (!dialog || !testenv::PressCloseBox(dialog)) PostThreadMessageW(dialog_thread, WM_QUIT, 0, 0);
    });
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), "SETUPDLG", nullptr, SetupDlgProc, 0);
    user.join();
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // the modal loop posts it again
    return result;
  }

 private:
  HMODULE rich_edit_ = nullptr;
  HICON saved_icon_ = nullptr;
};

TEST_F(SetupDialogTest, CancelEndsWithZero) {
  HICON shown = nullptr;
  bool appeared = false;
  const INT_PTR result = RunAndClose(&shown, &appeared);
  ASSERT_TRUE(appeared) << "the setup dialog did not appear within 10 s";
  EXPECT_EQ(result, 0);
  EXPECT_EQ(shown, AppIcon);
}

}  // namespace
