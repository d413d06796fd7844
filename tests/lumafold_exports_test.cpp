// The exports of the standard effect library, loaded as the player loads it.
#include "common/effect/effect.h"
#include "common/effect/render_state.h"
#include "platform/library.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class Lumafold : public ::testing::Test {
protected:
    void SetUp() override
    {
        library = platform::openLibrary(KX_LUMAFOLD_PATH);
        ASSERT_NE(library, nullptr) << platform::lastLibraryError();
        has = reinterpret_cast<HasFxFunction>(platform::librarySymbol(library, "hasFX"));
        get = reinterpret_cast<GetFxFunction>(platform::librarySymbol(library, "getFX"));
        ASSERT_NE(has, nullptr);
        ASSERT_NE(get, nullptr);
    }
    void TearDown() override { platform::closeLibrary(library); }

    void* library = nullptr;
    HasFxFunction has = nullptr;
    GetFxFunction get = nullptr;
};

TEST_F(Lumafold, AnswersForItsSixTypesIgnoringCase)
{
    for (const char* t : {"clear", "CLEAR", "flash", "Picture", "fontcool", "MusicPlay", "SHADER"})
        EXPECT_TRUE(has(t)) << t;
    for (const char* t : {"", "webcam", "clear ", "clea"}) EXPECT_FALSE(has(t)) << t;
    EXPECT_FALSE(has(nullptr));
}

TEST_F(Lumafold, MakesEffectsWithTheirDefaults)
{
    EXPECT_EQ(get("webcam"), nullptr);
    EXPECT_EQ(get(nullptr), nullptr);
    for (const char* t : {"Clear", "flash"}) {
        cEffect* e = get(t);
        ASSERT_NE(e, nullptr) << t;
        EXPECT_TRUE(e->active);
        EXPECT_FLOAT_EQ(e->speed, 1.0f);
        EXPECT_EQ(e->name[0], 0);
        ASSERT_NE(e->renderState, nullptr);
        EXPECT_TRUE(e->renderState->restore);
        EXPECT_EQ(e->getParams(), nullptr);
        // Never loaded, still unloaded and destroyed without harm.
        e->unload();
        delete e;
    }
}

} // namespace
