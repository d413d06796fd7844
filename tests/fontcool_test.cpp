// The 3D text effect made by the real lumafold library and read through its
// own layout: script attributes, text records, motion, and the glyph lists.
#include "common/scene/named_texture.h"
#include "common/scene/scene_registry.h"
#include "common/script/xml_tag.h"
#include "effects/fontcool.h"
#include "gl_context.h"
#include "platform/library.h"
#include "test_util.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <string>

namespace {

class FontCool : public ::testing::Test {
protected:
    void SetUp() override
    {
        library = platform::openLibrary(KX_LUMAFOLD_PATH);
        ASSERT_NE(library, nullptr) << platform::lastLibraryError();
        auto get = reinterpret_cast<GetFxFunction>(platform::librarySymbol(library, "getFX"));
        ASSERT_NE(get, nullptr);
        effect = get("FontCool");
        ASSERT_NE(effect, nullptr);
        fc = static_cast<cFontCool*>(effect);
        element = root.addChild("txt");
    }
    void TearDown() override
    {
        if (effect) {
            effect->unload();
            delete effect;
        }
        if (library) platform::closeLibrary(library);
    }

    // Runs doXML on the element, returning what it printed.
    std::string read(cXmlTag* e)
    {
        testing::internal::CaptureStdout();
        effect->doXML(e);
        return testing::internal::GetCapturedStdout();
    }
    cXmlTag* text(std::initializer_list<std::pair<const char*, std::string>> params)
    {
        cXmlTag* t = element->addChild("text");
        for (const auto& p : params) t->addParam(p.first, p.second.c_str());
        return t;
    }

    void* library = nullptr;
    cEffect* effect = nullptr;
    cFontCool* fc = nullptr;
    cXmlTag root;
    cXmlTag* element = nullptr;
};

TEST_F(FontCool, DefaultsTextRecordsAndEffectAttributes)
{
    // By default nothing is shown, and drawing before load reads nothing.
    EXPECT_EQ(fc->textCount, 0);
    for (const cFontCool::sText& t : fc->texts) EXPECT_EQ(t.shown, 0);
    EXPECT_STREQ(fc->faceName, "Arial Black");
    EXPECT_EQ(fc->textPosition[2], -10.0f);
    fc->draw();

    element->addParam("numtexts", "3");
    element->addParam("basefont", "DejaVu Sans Mono And A Name Far Longer Than 31");
    element->addParam("italics", "1");
    element->addParam("quality", "0.002");
    element->addParam("extrude", "0.25");
    text({{"num", "2"},
          {"string", "Hi"},
          {"tra", "1.5,-2,3"},
          {"trav", "0.1,0.2"},
          {"style", "3"},
          {"color", "80ff0000"},
          {"rot", "1,2,3"},
          {"sca", "2,2,2"},
          {"rotv", "4,5,6"},
          {"scav", "7,8,9"}});
    // Two nums: the same attributes go into both records.
    text({{"num", "0"}, {"num", "1"}, {"string", "twice"}, {"active", "1"}});
    const std::string out = read(element);
    EXPECT_NE(out.find("***Hi\n"), std::string::npos) << out;
    EXPECT_NE(out.find("***twice\n***twice\n"), std::string::npos) << out; // once per record

    EXPECT_EQ(fc->textCount, 3);
    EXPECT_STREQ(fc->faceName, "DejaVu Sans Mono And A Name Far");
    EXPECT_EQ(fc->italic, 1);
    EXPECT_FLOAT_EQ(fc->deviation, 0.002f);
    EXPECT_FLOAT_EQ(fc->extrusion, 0.25f);
    const cFontCool::sText& t = fc->texts[2];
    EXPECT_STREQ(t.string, "Hi");
    EXPECT_EQ(t.shown, 0);
    EXPECT_EQ(t.style, 3);
    EXPECT_FLOAT_EQ(t.position[1], -2.0f);
    EXPECT_FLOAT_EQ(t.position[2], 3.0f);
    EXPECT_FLOAT_EQ(t.velocity[1], 0.2f);
    EXPECT_EQ(t.velocity[2], 0.0f); // not given: kept
    EXPECT_FLOAT_EQ(t.color[3], 128 / 255.0f);
    EXPECT_EQ(t.scaleVelocity[0], 7.0f);
    EXPECT_STREQ(fc->texts[0].string, "twice");
    EXPECT_STREQ(fc->texts[1].string, "twice");
    EXPECT_EQ(fc->texts[1].shown, 1);
    EXPECT_TRUE(effect->active);
}

TEST_F(FontCool, TextChildrenSwitchTheWholeEffect)
{
    // The effect's own active comes first; a text's active 0 wins over it,
    // even for a text whose num is out of range.
    element->addParam("active", "1");
    text({{"num", "16"}, {"active", "0"}, {"string", "never"}, {"speed", "3"}});
    const std::string out = read(element);
    EXPECT_FALSE(effect->active);
    EXPECT_FLOAT_EQ(effect->speed, 3.0f);
    EXPECT_EQ(out.find("never"), std::string::npos);
    for (const cFontCool::sText& t : fc->texts) EXPECT_EQ(t.string[0], 0);

    cXmlTag* again = root.addChild("txt");
    cXmlTag* t = again->addChild("text");
    t->addParam("num", "0");
    t->addParam("active", "1");
    read(again);
    EXPECT_TRUE(effect->active);
    EXPECT_EQ(fc->texts[0].shown, 1);
}

TEST_F(FontCool, HostileAttributes)
{
    // Every byte from 1 to 255, repeated to the reader's limit of 2047.
    std::string bytes;
    while (bytes.size() < 3000) bytes += char(1 + bytes.size() % 255);
    element->addParam("numtexts", "500");
    element->addParam("extrude", "1e999");
    element->addParam("quality", "garbage");
    for (const char* num : {"-1", "16", "500", "4294967295", "99999999999"})
        text({{"num", num}, {"string", "ignored"}});
    text({{"num", "15"}, {"string", bytes}, {"tra", "x,1e999,2"}, {"trav", ",,"}, {"active", "7"}});
    std::string out = read(element);
    EXPECT_NE(out.find("numtexts 500"), std::string::npos) << out.substr(0, 200);
    EXPECT_EQ(fc->textCount, 16);
    EXPECT_FLOAT_EQ(fc->extrusion, 0.01f); // out of range: kept
    EXPECT_EQ(fc->deviation, 0.0f);        // text without a number reads as 0
    EXPECT_EQ(std::string(fc->texts[15].string), bytes.substr(0, 2047));
    EXPECT_EQ(fc->texts[15].position[0], 0.0f);
    EXPECT_EQ(fc->texts[15].shown, 7);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(fc->texts[i].string[0], 0) << i;

    cXmlTag* negative = root.addChild("txt");
    negative->addParam("numtexts", "-1");
    read(negative);
    EXPECT_EQ(fc->textCount, 0);
}

TEST_F(FontCool, UpdateMovesTextsByVelocityStepAndSpeed)
{
    element->addParam("numtexts", "2");
    element->addParam("speed", "2");
    text({{"num", "0"}, {"tra", "1,2,3"}, {"trav", "0.1,-0.2,0.5"}});
    text({{"num", "1"}, {"trav", "1,0,0"}}); // not shown: moves all the same
    text({{"num", "2"}, {"trav", "1,1,1"}}); // beyond the count: stays
    read(element);
    effect->update(0.5f);
    effect->update(1.5f);
    // c = step x speed: 1 + 3.
    EXPECT_FLOAT_EQ(fc->texts[0].position[0], 1.4f);
    EXPECT_FLOAT_EQ(fc->texts[0].position[1], 1.2f);
    EXPECT_FLOAT_EQ(fc->texts[0].position[2], 5.0f);
    EXPECT_FLOAT_EQ(fc->texts[1].position[0], 4.0f);
    EXPECT_EQ(fc->texts[2].position[0], 0.0f);

    effect->speed = 0; // frozen
    effect->update(10);
    EXPECT_FLOAT_EQ(fc->texts[0].position[0], 1.4f);
}

TEST_F(FontCool, LoadBuildsTheListsAndUnloadFreesThem)
{
    kxtest::GLContext gl;
    ASSERT_TRUE(gl.ok());
    kxtest::TempDir dir;
    cSceneRegistry registry;
    effect->registry = &registry;

    std::string hostile;
    for (int i = 0; i < 2047; ++i) hostile += char(255 - i % 255); // 255 down to 1, and 255 again
    element->addParam("numtexts", "2");
    element->addParam("basefont", "DejaVu Sans");
    element->addParam("texture", "missing.tga");
    element->addParam("extrude", "0");
    text({{"num", "0"}, {"active", "1"}, {"string", hostile}, {"style", "1"}});
    text({{"num", "1"}, {"active", "1"}, {"string", "A_B"}, {"style", "3"}});
    read(element);
    // A missing file gives the registry's blank texture under its name.
    EXPECT_EQ(registry.textureCount(), 1);
    EXPECT_EQ(fc->texture, registry.findTexture("missing.tga"));

    testing::internal::CaptureStdout();
    EXPECT_EQ(effect->load(), 2);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("text1: A_B\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("outline font: no face"), std::string::npos) << out;
    const unsigned base = fc->listBase;
    ASSERT_NE(base, 0u);
    ASSERT_NE(fc->glyphs, nullptr);
    EXPECT_TRUE(glIsList(base + 'A'));
    EXPECT_TRUE(glIsList(base + 254));
    EXPECT_GT(fc->glyphs['B'].cellIncX, 0.5f);
    EXPECT_EQ(fc->glyphs[255].cellIncX, 0.0f); // no glyph 255: no room either

    // Every byte indexes the glyph tables; the sanitizer sees any stray read.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    effect->draw();
    EXPECT_EQ(fc->textPosition[0], fc->texts[1].position[0]);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    // A second load replaces the lists instead of leaking them.
    testing::internal::CaptureStdout();
    effect->load();
    testing::internal::GetCapturedStdout();
    if (fc->listBase != base) {
        EXPECT_FALSE(glIsList(base + 'A'));
    }
    const unsigned second = fc->listBase;
    effect->unload();
    EXPECT_EQ(fc->listBase, 0u);
    EXPECT_EQ(fc->glyphs, nullptr);
    EXPECT_FALSE(glIsList(second + 'A'));
    effect->unload(); // twice is harmless
    registry.clear();
}

} // namespace
