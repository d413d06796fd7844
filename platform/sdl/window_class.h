// The class name of a window as the window system shows it.
#pragma once

struct SDL_Window;

namespace platform {

// Gives an SDL window its own class name: on X11 both parts of the WM_CLASS
// property. SDL names every window of a process after the program, once,
// when its video starts, so each window is named here, before it is mapped.
// Other window systems keep SDL's name.
void setWindowClass(SDL_Window* window, const char* className);

} // namespace platform
