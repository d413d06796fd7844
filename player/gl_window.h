// A window with an OpenGL context, its first GL state, the projection on
// every resize and an optional full-screen display mode.
#pragma once

#include "platform/window.h"
#include "platform/window_system.h"

struct cWindowSettings {
    char title[64] = "demo";
    int width = 640;
    int height = 480;
    int x = 0;
    int y = 0;
    int colourBits = 32;
    bool fullscreen = false;
    bool swapControl = false;
    int flags = 0;

    void setTitle(const char* text);
};

class cGLWindow : public cWindow {
public:
    cGLWindow();
    ~cGLWindow() override;

    bool frame() override;
    void resize(int newWidth, int newHeight) override;
    void close() override;

    // Opens the window and its context. Full screen rewrites the position
    // and flags in the caller's settings.
    bool create(cWindowSettings& settings);
    void makeCurrent();
    void release();

    bool fullscreen = false;
    platform::NativeWindow* deviceContext = nullptr; // the window the context draws into
    platform::GLContext renderContext = nullptr;
};
