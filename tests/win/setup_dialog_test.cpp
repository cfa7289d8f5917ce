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

  // Shows "SETUPDLG" modally; another thread presses the button once it is up.
  INT_PTR RunAndPress(int button, HICON* shown_icon) {
    const DWORD dialog_thread = GetCurrentThreadId();
    bool found = true;
    std::thread user([button, shown_icon, dialog_thread, &found] {
      HWND dialog = testenv::WaitForWindow(GetCurrentProcessId(), 10000);
      if (!dialog) {
        // a modal loop left running would hold the test until its time-out
        found = false;
        PostThreadMessageW(dialog_thread, WM_QUIT, 0, 0);
        return;
      }
      *shown_icon = testenv::WindowBigIcon(dialog);
      // the dialog has no Cancel button: the user closes it with the close box
      bool pressed = button == IDCANCEL ? testenv::PressCloseBox(dialog) : testenv::PressButton(dialog, button);
      // never leave the modal loop running
      if (!pressed) PostMessageW(dialog, WM_CLOSE, 0, 0);
    });
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), "SETUPDLG", nullptr, SetupDlgProc, 0);
    user.join();
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // the modal loop posts it again
    EXPECT_TRUE(found) << "the setup dialog did not appear within 10 s";
    return result;
  }

 private:
  HMODULE rich_edit_ = nullptr;
  HICON saved_icon_ = nullptr;
};

TEST_F(SetupDialogTest, CancelEndsWithZero) {
  HICON shown = nullptr;
  EXPECT_EQ(RunAndPress(IDCANCEL, &shown), 0);
  EXPECT_EQ(shown, AppIcon);
}

}  // namespace
