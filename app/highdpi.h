#pragma once

// Scales the whole window with the desktop's display scaling (125 %, 150 %, 200 % on Windows; the
// font DPI on X11), so that its texts and the proportions of its design stay as drawn at 100 %.
// Must run before the application object is made.
void PrepareHighDpiScaling();
