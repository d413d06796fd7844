// Plug-ins the tests build from this one source with different switches:
//   KXTEST_CLEAR    makes a "clear" of its own (to check that load order wins)
//   KXTEST_NO_GETFX exports hasFX only
//   KXTEST_PARAMS   makes "params", whose effect publishes a two-entry description
//   KXTEST_DIALOG   makes "dialog", whose effect, when loaded, reports whether
//                   the platform layer lets it open dialogs and shows a
//                   message box
//   KXTEST_PIXEL    makes "pixel", whose effect prints the colour of the
//                   window's centre pixel whenever it changes, and when
//                   loaded counts the live GL textures and display lists;
//                   one named "again..." also presses F5 when loaded, so
//                   the player reloads the show again and again; hold="N"
//                   stops the frame it is drawn in until the file open-N
//                   exists, so a test can act between two known frames
// Every effect reports unload and destruction on standard output, and the
// library reports being unloaded, so tests can check the teardown order.
#include "common/effect/effect.h"
#ifdef KXTEST_DIALOG
#include "platform/message_box.h"
#endif
#if defined(KXTEST_CONTEXT) && defined(_WIN32)
#include <windows.h>
#endif
#if defined(KXTEST_PIXEL) || defined(KXTEST_CONTEXT)
#include <GL/gl.h>
#endif
#ifdef KXTEST_PIXEL
#include "common/script/xml_tag.h"

#include <SDL.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>
#endif

#include <cstdio>
#include <strings.h>

namespace {

class cProbe : public cEffect {
public:
    explicit cProbe(const char* what) : what_(what) { }
    ~cProbe() override
    {
        std::printf("probe: delete %s %s\n", what_, name);
        std::fflush(stdout);
    }
    int unload() override
    {
        std::printf("probe: unload %s %s\n", what_, name);
#ifdef KXTEST_CONTEXT
        reportContext("unload");
#endif
        std::fflush(stdout);
        return 0;
    }
    void update(float) override { }

#ifdef KXTEST_DIALOG
    int load() override
    {
        std::printf("probe: interactive %d\n", platform::isInteractive() ? 1 : 0);
        std::fflush(stdout);
        platform::messageBox("PROBE", "a message box from a plug-in", platform::MessageIcon::information);
        return 0;
    }
#endif

#ifdef KXTEST_PIXEL
    int load() override
    {
        // Names are handed out from 1 up and given back when deleted, so
        // the names in use below a bound count the objects alive.
        int textures = 0, lists = 0;
        for (GLuint id = 1; id <= 4096; ++id) textures += glIsTexture(id) ? 1 : 0;
        for (GLuint id = 1; id <= 8192; ++id) lists += glIsList(id) ? 1 : 0;
        std::printf("probe: live textures %d lists %d\n", textures, lists);
        std::fflush(stdout);
        if (std::strncmp(name, "again", 5) == 0) {
            // A real key press, queued for the window the show draws in.
            SDL_Event e{};
            e.type = SDL_KEYDOWN;
            e.key.windowID = SDL_GetWindowID(SDL_GL_GetCurrentWindow());
            e.key.keysym.sym = SDLK_F5;
            e.key.keysym.scancode = SDL_SCANCODE_F5;
            SDL_PushEvent(&e);
        }
        return 0;
    }
    void draw() override
    {
        GLint viewport[4] = {};
        glGetIntegerv(GL_VIEWPORT, viewport);
        unsigned char rgb[3] = {};
        glReadPixels(viewport[2] / 2, viewport[3] / 2, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
        const unsigned colour = unsigned(rgb[0]) << 16 | unsigned(rgb[1]) << 8 | rgb[2];
        if (colour != last_) {
            last_ = colour;
            std::printf("probe: pixel %06x\n", colour);
            std::fflush(stdout);
        }
        if (hold_.empty()) return;
        std::printf("probe: holding %s\n", hold_.c_str());
        std::fflush(stdout);
        const std::string file = "open-" + hold_;
        hold_.clear();
        for (int i = 0; i < 12000 && access(file.c_str(), F_OK) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    int doXML(cXmlTag* element) override
    {
        if (const char* hold = element->getString("hold")) hold_ = hold;
        return cEffect::doXML(element);
    }
#endif

#ifdef KXTEST_CONTEXT
    int load() override
    {
        reportContext("load");
        std::fflush(stdout);
        return 0;
    }
    static void reportContext(const char* when)
    {
        // Without a current context GL answers nothing.
        const bool current = glGetString(GL_VERSION) != nullptr;
        std::printf("probe: context at %s: %s\n", when, current ? "current" : "none");
    }
#endif

#ifdef KXTEST_PARAMS
    cParamList* getParams() override
    {
        static cParam first{1, "path"};
        static cParam second{9, "mystery"};
        static cParam* entries[] = {&first, &second};
        static cParamList list{"paramprobe", 2, entries};
        return &list;
    }
#endif

private:
    const char* what_;
#ifdef KXTEST_PIXEL
    unsigned last_ = 0xFFFFFFFFu;
    std::string hold_; // the gate to wait at in the next draw
#endif
};

#if defined(KXTEST_CLEAR)
const char* const kType = "clear";
#elif defined(KXTEST_PARAMS)
const char* const kType = "params";
#elif defined(KXTEST_DIALOG)
const char* const kType = "dialog";
#elif defined(KXTEST_PIXEL)
const char* const kType = "pixel";
#elif defined(KXTEST_CONTEXT)
const char* const kType = "context";
#else
const char* const kType = "probe";
#endif

struct sLibraryProbe {
    ~sLibraryProbe()
    {
        std::printf("probe: library %s unloaded\n", kType);
        std::fflush(stdout);
    }
} gLibraryProbe;

} // namespace

KX_PLUGIN_EXPORT bool hasFX(const char* typeName) { return typeName && strcasecmp(typeName, kType) == 0; }

#ifndef KXTEST_NO_GETFX
KX_PLUGIN_EXPORT cEffect* getFX(const char* typeName) { return hasFX(typeName) ? new cProbe(kType) : nullptr; }
#endif
