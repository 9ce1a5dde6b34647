#pragma once
// "BitmapView": a child control that shows the picture its window text names, 1:1 at its
// top-left corner, and sizes itself to it. Pure green pixels are drawn in the face colour.

#include <windows.h>

constexpr wchar_t kBitmapViewClass[] = L"BitmapView";

// Pixels of this colour are replaced by the background colour of the target context.
constexpr COLORREF kKeyColour = RGB(0, 255, 0);

// Registers the class for `instance`. The picture itself is looked up in AppInstance().
bool RegisterBitmapViewClass(HINSTANCE instance);

// Draws `bitmap` with its top-left corner at (x, y), key-colour pixels in the target's
// current background colour. Does nothing for no bitmap.
void DrawBitmapKeyed(HDC target, int x, int y, HBITMAP bitmap);
