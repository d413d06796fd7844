// A small reusable window: creates and destroys one top-level window and
// turns its messages into calls of virtual handlers.
#pragma once

#include "platform/api.h"
#include "platform/window_system.h"

enum : int {
    WF_POSITION = 0x001, // use the given x, y; otherwise centre on the desktop
    WF_TOPMOST = 0x002,
    WF_POPUP = 0x004, // no caption
    WF_NOSYSMENU = 0x008,
    WF_NOMINIMIZE = 0x010,
    WF_NOMAXIMIZE = 0x020,
    WF_NOBORDER = 0x080,
    WF_NORESIZE = 0x100,
    WF_FULLSCREEN = 0x200, // implies WF_POPUP | WF_NORESIZE, position (0, 0)
    WF_TOOLWINDOW = 0x400,
    WF_NOQUIT = 0x800, // destroying the window posts no quit message
    WF_NOACTIVATE = 0x1000, // shown without taking the keyboard focus from the window that has it
};

class KX_PLATFORM_API cWindow : private platform::WindowSink {
public:
    cWindow() = default;
    virtual ~cWindow();

    cWindow(const cWindow&) = delete;
    cWindow& operator=(const cWindow&) = delete;

    virtual bool frame() { return false; }
    virtual void resize(int newWidth, int newHeight)
    {
        width = newWidth;
        height = newHeight;
    }
    virtual void paint() { }
    virtual void key(int virtualKey, bool down)
    {
        (void)virtualKey;
        (void)down;
    }
    virtual void mouseMove(int screenX, int screenY)
    {
        (void)screenX;
        (void)screenY;
    }
    virtual void mouseUp(int button) { (void)button; }
    virtual void mouseDown(int button) { (void)button; }
    virtual void close();

    // 0 on success, -1 on failure (a message box says why).
    int create(const char* title, int x, int y, int width, int height, int flags);

    // The window class name: "quandor_<title>_<date>_<time>", fixed per build.
    static const char* className(const char* title);

    int x = 0, y = 0;
    int width = 0, height = 0;
    platform::NativeWindow* window = nullptr;
    bool quitOnDestroy = true;
    bool created = false;

protected:
    // A derived class that draws with OpenGL asks for a GL-capable window.
    bool openGLWindow_ = false;
    int colourBits_ = 32;
    // Destroys the window and posts the quit message when quitOnDestroy is set.
    void destroyWindow();

private:
    // Destroys the window without a quit message.
    void discardWindow();

    void onMove(int newX, int newY) override;
    void onSize(int newWidth, int newHeight) override;
    void onPaint() override;
    void onClose() override;
    void onKey(int virtualKey, bool down) override;
    void onMouseMove(int screenX, int screenY) override;
    void onMouseButton(int button, bool down) override;
};
