#include "tests/support/dialog_geometry.h"

#include <gtest/gtest.h>

#include <string>

namespace testenv {

void ExpectRescaled(const DialogGeometry& before, const DialogGeometry& after, int sw, int sh, bool mirrored) {
  // the frame: one more than the non-client width and height
  int fw = (before.window.right - before.window.left + 1) - before.client.right;
  int fh = (before.window.bottom - before.window.top + 1) - before.client.bottom;
  EXPECT_EQ(after.window.left, before.window.left);
  EXPECT_EQ(after.window.top, before.window.top);
  EXPECT_EQ(after.window.right - after.window.left, before.client.right * sw / 100 + fw);
  EXPECT_EQ(after.window.bottom - after.window.top, before.client.bottom * sh / 100 + fh);
  fh -= GetSystemMetrics(SM_CYDLGFRAME);
  ASSERT_EQ(after.children.size(), before.children.size());
  // the client area's corner on the screen, as each layout counts from it
  int client_left = after.window.left + fw / 2;
  int client_right = after.window.right - fw / 2;
  for (size_t i = 0; i < before.children.size(); ++i) {
    const RECT& r = before.children[i];
    const RECT& n = after.children[i];
    SCOPED_TRACE("control " + std::to_string(i) + " in z-order");
    int x = mirrored ? (before.window.right - fw / 2 - r.right) * sw / 100
                     : (r.left - before.window.left - fw / 2) * sw / 100;
    EXPECT_EQ(mirrored ? client_right - n.right : n.left - client_left, x);
    EXPECT_EQ(n.top - after.client_top, (r.top - before.window.top - fh) * sh / 100);
    EXPECT_EQ(n.right - n.left, (r.right - r.left + 1) * sw / 100);
    EXPECT_EQ(n.bottom - n.top, (r.bottom - r.top + 1) * sh / 100);
  }
}

}  // namespace testenv
