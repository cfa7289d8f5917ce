#pragma once
// The rectangles of a dialog and its controls on the screen, and the check
// that a language's scale entry resized them as the localisation's formulas
// say. Shared by the in-process and the end-to-end tests.
#include <windows.h>

#include <vector>

namespace testenv {

struct DialogGeometry {
  RECT window{}, client{};
  int client_top = 0;        // the client area's top on the screen
  std::vector<RECT> children;  // window rectangles on the screen, in z-order
};

// Expects after to be before scaled by sw and sh percent, with the dialog's
// top-left corner kept; a mirrored dialog places its controls from the right.
void ExpectRescaled(const DialogGeometry& before, const DialogGeometry& after, int sw, int sh, bool mirrored);

}  // namespace testenv
