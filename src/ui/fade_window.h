// The window that ends an empty visit: maximised, pure green, fading out over 255 ticks.
#pragma once

#include <windows.h>

namespace nuporaku {

// Returns when the window is gone, by the end of the fade or by being closed.
void run_fade_window(HINSTANCE instance);

}  // namespace nuporaku
