// The plug-in contract as the player sees it from outside: each standard
// library exports exactly hasFX and getFX, and getFX answers null instead of
// throwing when an effect cannot be allocated.
//
// This program replaces the global operator new so that a chosen allocation
// fails; the libraries it loads allocate through it too.
#include "common/effect/effect.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <dlfcn.h>
#include <new>
#include <string>

#ifndef KX_NM_PATH
#error "KX_NM_PATH must name the nm program"
#endif

namespace {

// Allocations left before one fails; negative: none fails.
long gAllocationsBeforeFailure = -1;

bool failThisAllocation()
{
    if (gAllocationsBeforeFailure < 0) return false;
    return gAllocationsBeforeFailure-- == 0;
}

// The operator new that this program's replacement stands in front of (the
// C++ library's, or the address checker's).
template <class F> F nextOperator(const char* symbol) { return reinterpret_cast<F>(dlsym(RTLD_NEXT, symbol)); }

} // namespace

void* operator new(std::size_t size)
{
    static auto next = nextOperator<void* (*)(std::size_t)>("_Znwm");
    if (failThisAllocation() || !next) throw std::bad_alloc();
    return next(size);
}

void* operator new[](std::size_t size)
{
    static auto next = nextOperator<void* (*)(std::size_t)>("_Znam");
    if (failThisAllocation() || !next) throw std::bad_alloc();
    return next(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

struct sLibrary {
    const char* path;
    const char* types[6];
};

const sLibrary kLibraries[] = {
    {KX_LUMAFOLD_PATH, {"clear", "flash", "picture", "fontcool", "musicplay", "shader"}},
    {KX_IRISLOOM_PATH, {"webcam"}},
};

TEST(PluginContract, EachLibraryExportsOnlyHasFxAndGetFx)
{
    for (const sLibrary& lib : kLibraries) {
        // Names only: the defined dynamic symbols, sorted.
        const std::string cmd = std::string(KX_NM_PATH) + " -D --defined-only --format=just-symbols " + lib.path;
        FILE* p = popen(cmd.c_str(), "r");
        ASSERT_NE(p, nullptr) << cmd;
        std::string names;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) names.append(buf, n);
        EXPECT_EQ(pclose(p), 0) << cmd;
        EXPECT_EQ(names, "getFX\nhasFX\n") << lib.path;
    }
}

TEST(PluginContract, GetFxAnswersNullWhenAnyAllocationFails)
{
    for (const sLibrary& lib : kLibraries) {
        void* library = dlopen(lib.path, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        auto getFX = reinterpret_cast<GetFxFunction>(dlsym(library, "getFX"));
        ASSERT_NE(getFX, nullptr);
        for (const char* type : lib.types) {
            if (!type) break;
            // Fail the first allocation, then the second, ... until the
            // effect is made without reaching the failure.
            bool made = false;
            for (long failAt = 0; failAt < 64 && !made; ++failAt) {
                cEffect* effect = nullptr;
                gAllocationsBeforeFailure = failAt;
                try {
                    effect = getFX(type);
                } catch (...) {
                    ADD_FAILURE() << type << ": an exception left getFX at allocation " << failAt;
                }
                made = gAllocationsBeforeFailure >= 0; // the failure was never reached
                gAllocationsBeforeFailure = -1;
                if (made) {
                    EXPECT_NE(effect, nullptr) << type;
                }
                delete effect; // null, or an effect that did without what it could not get
            }
            EXPECT_TRUE(made) << type;
        }
        dlclose(library);
    }
}

} // namespace
