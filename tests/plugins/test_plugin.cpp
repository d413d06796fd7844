// Plug-ins the tests build from this one source with different switches:
//   KXTEST_CLEAR    makes a "clear" of its own (to check that load order wins)
//   KXTEST_NO_GETFX exports hasFX only
//   KXTEST_PARAMS   makes "params", whose effect publishes a two-entry description
//   KXTEST_DIALOG   makes "dialog", whose effect, when loaded, reports whether
//                   the platform layer lets it open dialogs and shows a
//                   message box
// Every effect reports unload and destruction on standard output, and the
// library reports being unloaded, so tests can check the teardown order.
#include "common/effect/effect.h"
#ifdef KXTEST_DIALOG
#include "platform/message_box.h"
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
};

#if defined(KXTEST_CLEAR)
const char* const kType = "clear";
#elif defined(KXTEST_PARAMS)
const char* const kType = "params";
#elif defined(KXTEST_DIALOG)
const char* const kType = "dialog";
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
