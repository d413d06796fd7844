#include "player/gl_window.h"

#include "platform/message_box.h"
#include "platform/window_system.h"
#include "player/extensions.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdio>

namespace {
void createError(const char* text) { platform::messageBox("ERROR", text, platform::MessageIcon::error); }
void shutdownError(const char* text)
{
    platform::messageBox("SHUTDOWN ERROR", text, platform::MessageIcon::information);
}
} // namespace

void cWindowSettings::setTitle(const char* text) { std::snprintf(title, sizeof title, "%s", text ? text : ""); }

cGLWindow::cGLWindow() { openGLWindow_ = true; }

cGLWindow::~cGLWindow() { release(); }

bool cGLWindow::frame()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    platform::swapBuffers(deviceContext);
    return true;
}

bool cGLWindow::create(cWindowSettings& settings)
{
    release();
    fullscreen = settings.fullscreen;
    if (fullscreen) {
        settings.x = 0;
        settings.y = 0;
        settings.flags |= WF_FULLSCREEN | WF_POSITION;
    }
    colourBits_ = settings.colourBits;
    // A window of an earlier create goes first (its context went above);
    // when the new one cannot be made there is no window at all.
    if (cWindow::create(settings.title, settings.x, settings.y, settings.width, settings.height, settings.flags) != 0)
        return false;

    if (fullscreen) {
        if (!platform::enterFullScreen(window, settings.width, settings.height, settings.colourBits)) {
            createError("FullScreen Failed, using Windowed");
            fullscreen = false;
        } else {
            platform::showCursor(false);
        }
    }

    // The pixel format comes after the display mode change: a window keeps
    // the format it was first given, and it must suit the mode it plays in.
    switch (platform::setPixelFormat(window)) {
    case platform::PixelFormatStep::deviceContext:
        createError("Can't Create An OPENGL Device Context.");
        return false;
    case platform::PixelFormatStep::choose:
        createError("Can't Find A Suitable PixelFormat.");
        return false;
    case platform::PixelFormatStep::set:
        createError("Can't Set The PixelFormat.");
        return false;
    case platform::PixelFormatStep::done:
        break;
    }
    deviceContext = window;
    renderContext = platform::createGLContext(window);
    if (!renderContext) {
        createError("Can't Create An OPENGL Rendering Context.");
        return false;
    }
    if (!platform::makeCurrent(deviceContext, renderContext)) {
        createError("Can't Activate The OPENGL Rendering Context.");
        return false;
    }

    resize(settings.width, settings.height);

    platform::makeCurrent(deviceContext, renderContext);
    glEnable(GL_DEPTH_TEST);
    glPolygonMode(GL_FRONT, GL_FILL);
    const GLfloat black[] = {0, 0, 0, 1};
    const GLfloat white[] = {1, 1, 1, 1};
    glLightfv(GL_LIGHT0, GL_AMBIENT, black);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, black);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_SPECULAR, white);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, white);
    return true;
}

void cGLWindow::makeCurrent()
{
    if (!deviceContext || !renderContext) return;
    if (gExt.wglMakeContextCurrentARB)
        gExt.wglMakeContextCurrentARB(deviceContext, deviceContext, renderContext);
    else
        platform::makeCurrent(deviceContext, renderContext);
}

void cGLWindow::resize(int newWidth, int newHeight)
{
    makeCurrent();
    glViewport(0, 0, newWidth, newHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // A minimised window reports a height of 0: keep the aspect finite.
    const double aspect = newHeight > 0 ? double(newWidth) / double(newHeight) : 1.0;
    gluPerspective(45.0, aspect, double(0.2f), 400.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    width = newWidth;
    height = newHeight;
}

void cGLWindow::release()
{
    if (deviceContext && renderContext) platform::makeCurrent(deviceContext, renderContext);
    // The desktop's mode and the cursor come back whenever the mode was
    // changed, also when the context after it could not be made.
    if (fullscreen) {
        platform::leaveFullScreen(window);
        platform::showCursor(true);
    }
    fullscreen = false;
    if (renderContext) {
        if (!platform::makeCurrent(deviceContext, nullptr)) shutdownError("wglMakeCurrent() failed");
        if (!platform::deleteGLContext(renderContext)) shutdownError("wglDeleteContext() failed");
        renderContext = nullptr;
    }
    if (window && !platform::releaseDeviceContext(window)) shutdownError("ReleaseDC() failed");
    deviceContext = nullptr;
}

void cGLWindow::close()
{
    release();
    destroyWindow();
}
