#include "platform/window.h"

#include "platform/message_box.h"
#include "platform/window_system.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Two integers fixed for one build: the build date and time as numbers.
int buildDateNumber()
{
    const char* d = __DATE__; // "Mmm dd yyyy"
    static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    int month = 0;
    for (int i = 0; i < 12; ++i)
        if (std::strncmp(months + 3 * i, d, 3) == 0) month = i + 1;
    const int day = (d[4] == ' ' ? 0 : d[4] - '0') * 10 + (d[5] - '0');
    const int year = std::atoi(d + 7);
    return year * 10000 + month * 100 + day;
}

int buildTimeNumber()
{
    const char* t = __TIME__; // "hh:mm:ss"
    return ((t[0] - '0') * 10 + (t[1] - '0')) * 10000 + ((t[3] - '0') * 10 + (t[4] - '0')) * 100 + (t[6] - '0') * 10 +
           (t[7] - '0');
}

} // namespace

const char* cWindow::className(const char* title)
{
    // "quandor_", a 63-character title and two 10-digit numbers fit easily.
    static char name[128];
    std::snprintf(name, sizeof name, "quandor_%.63s_%i_%i", title ? title : "", buildDateNumber(), buildTimeNumber());
    return name;
}

cWindow::~cWindow()
{
    // The window object is going away: nothing may be forwarded to it.
    discardWindow();
}

void cWindow::discardWindow()
{
    if (!window) return;
    platform::setWindowSink(window, nullptr);
    if (!platform::destroyWindow(window))
        platform::messageBox("SHUTDOWN ERROR", "DestroyWindow() Failed.", platform::MessageIcon::information);
    window = nullptr;
    created = false;
}

int cWindow::create(const char* title, int newX, int newY, int newWidth, int newHeight, int flags)
{
    // A window made by an earlier create is replaced, not closed: it goes
    // without a quit message, and none of its messages reach this object
    // any more. Should the new one fail, the object has no window.
    discardWindow();

    x = newX;
    y = newY;
    width = newWidth;
    height = newHeight;
    if (flags & WF_FULLSCREEN) flags |= WF_POPUP | WF_NORESIZE;
    if (flags & WF_NOQUIT) quitOnDestroy = false;

    platform::WindowStyle style;
    style.popup = (flags & WF_POPUP) != 0;
    style.border = !(flags & WF_NOBORDER) && !style.popup;
    style.resizable = !(flags & WF_NORESIZE);
    style.topmost = (flags & WF_TOPMOST) != 0;
    style.toolWindow = (flags & WF_TOOLWINDOW) != 0;
    style.activate = !(flags & WF_NOACTIVATE);
    style.systemMenu = !(flags & WF_NOSYSMENU);
    style.minimizeBox = !(flags & WF_NOMINIMIZE);
    style.maximizeBox = !(flags & WF_NOMAXIMIZE);
    style.openGL = openGLWindow_;
    style.colourBits = colourBits_;

    if (flags & WF_FULLSCREEN) {
        x = 0;
        y = 0;
    } else if (!(flags & WF_POSITION)) {
        int desktopWidth = 0, desktopHeight = 0;
        if (platform::desktopSize(&desktopWidth, &desktopHeight)) {
            x = (desktopWidth - width) / 2;
            y = (desktopHeight - height) / 2;
        }
    }

    // A window has at least one pixel of client area, whatever size was asked.
    window = platform::createWindow(className(title), title, x, y, width < 1 ? 1 : width, height < 1 ? 1 : height,
                                    style, this);
    if (!window) {
        char text[600];
        std::snprintf(text, sizeof text, "Window Creation Error.\n%s", platform::lastWindowError());
        platform::messageBox("ERROR", text, platform::MessageIcon::error);
        return -1;
    }
    if (style.activate) platform::raiseWindow(window);
    created = true;
    return 0;
}

void cWindow::destroyWindow()
{
    if (!window) return;
    discardWindow();
    if (quitOnDestroy) platform::postQuit();
}

void cWindow::close() { destroyWindow(); }

void cWindow::onMove(int newX, int newY)
{
    if (created) {
        x = newX;
        y = newY;
    }
}
void cWindow::onSize(int newWidth, int newHeight)
{
    if (created) resize(newWidth, newHeight);
}
void cWindow::onPaint()
{
    if (created) paint();
}
void cWindow::onClose()
{
    if (created) close();
}
void cWindow::onKey(int virtualKey, bool down)
{
    if (created) key(virtualKey, down);
}
void cWindow::onMouseMove(int screenX, int screenY)
{
    if (created) mouseMove(screenX, screenY);
}

void cWindow::onMouseButton(int button, bool down)
{
    if (!created) return;
    if (down)
        mouseDown(button);
    else
        mouseUp(button);
}
