// The GL census behind --gl-census: the name scan on made-up name tables
// (names handed out rising, and freed names used again), and the counts of
// a real context as textures, lists and programs come and go.
#include "gl_context.h"
#include "player/gl_census.h"

#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <set>

namespace {

TEST(GLCensus, TheScanFindsEveryNameBelowAFreshOneAndUpToAGapBeyondIt)
{
    const struct {
        const char* label;
        std::set<unsigned long> alive;
        unsigned long fresh; // what the driver would hand out next
        long count;
    } cases[] = {
        {"none", {}, 1, 0},
        {"rising names, old ones freed", {9000, 9001, 9002}, 9003, 3},
        {"reused names, compact", {1, 2, 3, 5}, 4, 4},
        {"reused names, 4095 unused above the fresh one", {1, 2, 4098}, 3, 3},
        {"after 4096 unused names nothing counts", {1, 4098}, 2, 1},
    };
    for (const auto& c : cases) {
        const long counted = countLiveNames([&](unsigned long n) { return c.alive.count(n) > 0; }, c.fresh);
        EXPECT_EQ(counted, c.count) << c.label;
    }
}

TEST(GLCensus, CountsTheTexturesListsAndProgramsOfTheContext)
{
    kxtest::GLContext context;
    ASSERT_TRUE(context.ok());
    const sGLCensus before = takeGLCensus();
    GLuint textures[3] = {};
    glGenTextures(3, textures);
    for (GLuint t : textures) glBindTexture(GL_TEXTURE_2D, t); // a name becomes a texture when bound
    const GLuint lists = glGenLists(5);
    ASSERT_NE(lists, 0u);
    for (GLuint i = 0; i < 5; ++i) {
        glNewList(lists + i, GL_COMPILE);
        glEndList();
    }
    using CreateProgram = GLuint (*)();
    using DeleteProgram = void (*)(GLuint);
    const auto createProgram = reinterpret_cast<CreateProgram>(SDL_GL_GetProcAddress("glCreateProgram"));
    const auto deleteProgram = reinterpret_cast<DeleteProgram>(SDL_GL_GetProcAddress("glDeleteProgram"));
    ASSERT_TRUE(createProgram && deleteProgram);
    const GLuint program = createProgram();
    const sGLCensus during = takeGLCensus();
    EXPECT_EQ(during.textures, before.textures + 3);
    EXPECT_EQ(during.lists, before.lists + 5);
    EXPECT_EQ(during.programs, before.programs + 1);
    EXPECT_EQ(formatGLCensus(during), "textures " + std::to_string(during.textures) + "\nlists " +
                                          std::to_string(during.lists) + "\nprograms " +
                                          std::to_string(during.programs) + "\n");
    // Freeing the one in the middle leaves a hole the scan looks past.
    glDeleteTextures(1, &textures[1]);
    glDeleteLists(lists + 2, 1);
    const sGLCensus holed = takeGLCensus();
    EXPECT_EQ(holed.textures, before.textures + 2);
    EXPECT_EQ(holed.lists, before.lists + 4);
    glDeleteTextures(3, textures);
    glDeleteLists(lists, 5);
    deleteProgram(program);
    const sGLCensus after = takeGLCensus();
    EXPECT_EQ(after.textures, before.textures);
    EXPECT_EQ(after.lists, before.lists);
    EXPECT_EQ(after.programs, before.programs);
    EXPECT_EQ(glGetError(), unsigned(GL_NO_ERROR));
}

} // namespace
