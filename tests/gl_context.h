// A hidden offscreen window with a GL context for tests that read GL state
// back. Mesa's drivers keep allocations past their unloading; they are not
// ours, so leak checking pauses while the context lives.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace kxtest {

class GLContext {
public:
    explicit GLContext(int width = 64, int height = 64)
    {
#if defined(__SANITIZE_ADDRESS__)
        __lsan_disable();
#endif
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            ADD_FAILURE() << "no video: " << SDL_GetError();
            return;
        }
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        window_ = SDL_CreateWindow("kxtest", 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        context_ = window_ ? SDL_GL_CreateContext(window_) : nullptr;
        if (!context_) ADD_FAILURE() << "no GL context: " << SDL_GetError();
    }
    ~GLContext()
    {
        if (context_) {
            SDL_GL_MakeCurrent(window_, nullptr);
            SDL_GL_DeleteContext(context_);
        }
        if (window_) SDL_DestroyWindow(window_);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
#if defined(__SANITIZE_ADDRESS__)
        __lsan_enable();
#endif
    }
    GLContext(const GLContext&) = delete;
    GLContext& operator=(const GLContext&) = delete;

    bool ok() const { return context_ != nullptr; }

private:
    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
};

} // namespace kxtest
