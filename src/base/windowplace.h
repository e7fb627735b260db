// Window places kept in the settings, fitted to the screen before use.
#pragma once

// A window's place and size, or a screen's available area.
struct WindowPlace {
  int left = 0, top = 0, width = 0, height = 0;
};
// A stored place made to fit the area: width and height at most the
// area's (never below 0), the window moved so that it lies inside the
// area. Stored values may be anything (2147483647 too).
WindowPlace ClampPlace(const WindowPlace& stored, const WindowPlace& area);
