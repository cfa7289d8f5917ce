#pragma once

// Removes every registry and shell trace of the product before its files go.
void CleanUpRegistry();
