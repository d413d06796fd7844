// The scene registry and the script commands that fill it, and how a demo
// uses it (draw order surfaces, cameras advancing with the show), all
// without a window.
#include "common/media/stream.h"
#include "common/scene/camera.h"
#include "common/scene/named_texture.h"
#include "common/scene/scene_registry.h"
#include "common/scene/surface.h"
#include "logged_show.h"
#include "player/demo.h"
#include "player/log.h"
#include "player/scene_commands.h"
#include "player/script_reader.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Script {
    cXmlTag root;
    explicit Script(const std::string& text)
    {
        cMemoryStream source(text.data(), static_cast<int>(text.size()));
        EXPECT_EQ(parse(&root, source), 0) << lastError();
    }
    cXmlTag* first() { return root.firstChild; }
};

size_t count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

const std::string k40 = "camera_name_that_is_forty_characters_lon";

TEST(SceneRegistry, FindOrCreateIgnoresCaseFirstMatchWinsLongNamesCutAlike)
{
    cSceneRegistry r;
    cCamera* a = r.createCamera("Cam");
    cCamera* b = r.createCamera("cam");
    EXPECT_NE(a, b);
    EXPECT_EQ(r.findCamera("CAM"), a);
    cCamera* other = r.findCamera("other");
    EXPECT_EQ(r.cameraCount(), 3);
    EXPECT_EQ(other->fov, 50.0f);
    for (int i = 0; i < 300; ++i) r.createSurface(std::to_string(i).c_str()); // the arrays grow
    EXPECT_STREQ(r.findSurface("299")->name, "299");
    EXPECT_EQ(r.surfaceCount(), 300);

    testing::internal::CaptureStdout();
    cCamera* cut = r.findCamera(k40.c_str());
    EXPECT_EQ(count(testing::internal::GetCapturedStdout(), "name cut to 31 characters"), 1u);
    EXPECT_EQ(std::string(cut->name), k40.substr(0, 31));
    EXPECT_EQ(r.findCamera(k40.c_str()), cut);
    EXPECT_EQ(r.findCamera((k40.substr(0, 31) + "XYZ").c_str()), cut); // same first 31: same name
    EXPECT_EQ(r.cameraCount(), 4);
    EXPECT_NE(r.findCamera(k40.substr(0, 30).c_str()), cut);
}

int gMade = 0;
cSurface* countSurface()
{
    ++gMade;
    return new cSurface();
}
cNamedTexture* countTexture()
{
    ++gMade;
    return new cNamedTexture();
}
cCamera* countCamera()
{
    ++gMade;
    return new cCamera();
}

TEST(SceneRegistry, EveryObjectIsMadeThroughTheOwnersMakers)
{
    // A library asking for an object must get one made by the registry
    // owner's code: the owner deletes it after the library is gone.
    const sSceneMakers counting = {&countSurface, &countTexture, &countCamera};
    kxtest::TempDir dir;
    cSceneRegistry r;
    r.makers = &counting;
    testing::internal::CaptureStdout();
    r.findCamera("a");
    r.findCamera("A");
    r.findSurface("s");
    r.createTexture(8, 8, 24, "t");
    r.loadTexture("missing.tga");
    r.loadTexture("MISSING.TGA");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(gMade, 4);
    r.clear();
    EXPECT_EQ(r.cameraCount() + r.surfaceCount() + r.textureCount(), 0);
}

TEST(SceneCommands, CameraElementCreatesKeysAndConfigures)
{
    cSceneRegistry r;
    Script s(R"(<x>
        <camera mode="create" name="main" fov="20"/>
        <camera mode="CREATE" name="MAIN" pos="1,2,3" viewport="0,0.5,1,0.5" LOOPMODE="2" loopend="20"
                direction="-1" zfar="banana"/>
        <camera mode="keyframe" name="main"><key t="10"/><other/><key/></camera>
        <camera pos="5,5,5"/>
    </x>)");
    for (cXmlTag* c : s.first()->children()) EXPECT_EQ(cameraCommand(r, c), 0);
    ASSERT_EQ(r.cameraCount(), 2); // two of the name; an element without a name does nothing
    const cCamera* first = r.cameras[0];
    EXPECT_EQ(first->fov, 20.0f);
    EXPECT_EQ(first->pos[1], 2.0f);
    EXPECT_EQ(first->viewport[1], 0.5f);
    EXPECT_EQ(first->loopMode, 2);
    EXPECT_EQ(first->loopEnd, 20.0f);
    EXPECT_EQ(first->direction, -1.0f);
    EXPECT_EQ(first->zfar, 0.0f);
    EXPECT_EQ(first->keyCount, 2);
    EXPECT_EQ(first->keys[1].t, 11.0f);
    EXPECT_EQ(r.cameras[1]->fov, 50.0f);
    EXPECT_EQ(r.cameras[1]->keyCount, 0);
}

TEST(SceneCommands, SurfaceElementNeedsCreateASizeAndAName)
{
    cSceneRegistry r;
    const struct {
        const char* element;
        const char* printed;
        int surfaces;
    } cases[] = {
        {R"(<surface name="s" width="64" height="64"/>)", "", 0},
        {R"(<surface mode="create" name="s" width="0" height="64"/>)", "makey\n", 0},
        {R"(<surface mode="create" width="64" height="64"/>)", "makey\n", 0},
        {R"(<surface mode="Create" name="s" width="64" height="64"/>)", "makey\ncreatey\n", 1},
        {R"(<surface mode="create" name="S" width="1" height="1"/>)", "makey\ncreatey\n", 2},
    };
    for (const auto& c : cases) {
        Script s(c.element);
        testing::internal::CaptureStdout();
        surfaceCommand(r, s.first());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed) << c.element;
        EXPECT_EQ(r.surfaceCount(), c.surfaces) << c.element;
    }
}

TEST(SceneCommands, TextureDeclarations)
{
    kxtest::TempDir dir;
    std::string tga(18, '\0'); // 32 x 16, 24 bits, uncompressed
    tga[2] = 2;
    tga[12] = 32;
    tga[14] = 16;
    tga[16] = 24;
    kxtest::writeDataFile("textures/logo.tga", tga + std::string(32 * 16 * 3, '\x7f'));
    cSceneRegistry r;
    Script s(R"(<x>
        <texture mode="load" name="one" filename="logo.tga"/>
        <texture mode="LOAD" name="two" filename="LOGO.TGA"/>
        <texture mode="load" filename="gone.jpg"/>
        <texture mode="load" filename="Gone.JPG"/>
        <texture filename="logo.tga"/>
        <texture mode="create" name="a" width="64" height="32" bpp="32"/>
        <texture mode="create" name="b" width="64" height="64" bpp="16"/>
        <texture mode="create" name="c" width="0" height="64" bpp="24"/>
        <texture mode="create" name="f" width="100" height="64" bpp="24"/>
    </x>)");
    testing::internal::CaptureStdout();
    for (cXmlTag* c : s.first()->children()) EXPECT_EQ(textureCommand(r, c), 0);
    const std::string longName = k40 + ".tga";
    cNamedTexture* longOne = r.loadTexture(longName.c_str());
    EXPECT_EQ(r.loadTexture(longName.c_str()), longOne);
    const std::string out = testing::internal::GetCapturedStdout();

    ASSERT_EQ(r.textureCount(), 5); // logo, gone, a, f, the long one
    EXPECT_STREQ(r.textures[0]->name, "logo.tga");
    EXPECT_EQ(r.textures[0]->texture.width, 32);
    EXPECT_EQ(r.textures[0]->texture.height, 16);
    EXPECT_EQ(count(out, "load[data/textures/logo.tga]"), 1u);
    EXPECT_STREQ(r.textures[1]->name, "gone.jpg"); // blank 8 x 8, the file tried once
    EXPECT_EQ(r.textures[1]->texture.width, 8);
    EXPECT_EQ(r.textures[1]->texture.bytesPerPixel, 3);
    EXPECT_EQ(count(out, "Error: file not found"), 2u); // gone.jpg and the long name
    EXPECT_EQ(r.textures[2]->texture.bytesPerPixel, 4);
    EXPECT_STREQ(r.textures[3]->name, "f");
    EXPECT_EQ(r.textures[3]->texture.id, 0u);
    EXPECT_EQ(count(out, "error bad texture dimensions\n"), 1u);
    EXPECT_EQ(std::string(longOne->name), longName.substr(0, 31));
}

class DemoScene : public kxtest::LoggedShow {
protected:
    kxtest::TempDir dir;
};

TEST_F(DemoScene, DrawOrderSurfacesAndCamerasAdvancingWithTheShow)
{
    testing::internal::CaptureStdout();
    Script s(R"(<demo>
        <surface mode="create" name="back" width="256" height="256"/>
        <surface mode="create" name="back" width="256" height="256"/>
        <draworder surface="Main" surface="BACK" surface="later" effect="none"/>
        <camera name="cam" mode="keyframe"><key t="0" pos="0,0,0"/><key t="100" pos="10,0,0"/></camera>
        <event time="0"><camera name="late" mode="keyframe"><key/></camera></event>
    </demo>)");
    cDemo demo;
    demo.doXML(s.first());
    EXPECT_EQ(count(testing::internal::GetCapturedStdout(), "weeeeeee surface!!\nmakey\ncreatey\n"), 2u);
    ASSERT_EQ(demo.drawCount, 3);
    EXPECT_EQ(demo.drawOrder[0].kind, 1);
    EXPECT_EQ(demo.drawOrder[0].surface, nullptr); // the window
    EXPECT_EQ(demo.drawOrder[1].surface, demo.registry->surfaces[0]);
    ASSERT_EQ(demo.registry->surfaceCount(), 3);
    EXPECT_EQ(demo.drawOrder[2].surface, demo.registry->surfaces[2]);
    EXPECT_EQ(count(kxtest::readFile("log.txt"), "XML Error: DrawOrder"), 1u);

    demo.timeline.sort();
    demo.advanceShow(30); // the event runs first, so its camera moves in this frame
    cCamera* cam = demo.registry->findCamera("cam");
    EXPECT_FLOAT_EQ(cam->time, 30.0f);
    EXPECT_FLOAT_EQ(demo.registry->findCamera("late")->time, 30.0f);
    demo.timeline.speed = 2.0f;
    demo.advanceShow(10); // the step times the speed
    EXPECT_FLOAT_EQ(cam->time, 50.0f);
    EXPECT_FLOAT_EQ(cam->pos[0], 5.0f);
}

TEST_F(DemoScene, EventsRunAgainWhileScrubbingLeaveTheSceneAsOneRun)
{
    Script s(std::string("<demo><loadplugin file=\"") + KX_LUMAFOLD_PATH + R"("/>
        <camera name="cam" mode="keyframe"><key t="0"/><key t="100" pos="10,0,0"/></camera>
        <event time="0.1">
            <camera name="cam" mode="keyframe"><key t="200" pos="20,0,0"/></camera>
            <camera name="made" mode="create" fov="30"/>
            <texture mode="create" name="made" width="8" height="8" bpp="24"/>
            <surface mode="create" name="made" width="8" height="8"/>
            <add type="clear" name="made"/>
            <event time="9"/>
        </event>
        <event key="K"><camera name="cam" mode="keyframe"><key t="300"/></camera></event>
        <event time="0.2" trigger="K"/>
        <event time="1"><camera name="ahead" mode="keyframe"><key/></camera></event>
    </demo>)");
    cDemo demo;
    demo.doXML(s.first());
    demo.timeline.sort();
    auto frame = [&](float speed, float step) {
        demo.timeline.frameTime = demo.timeline.clock;
        demo.timeline.speed = speed;
        demo.advanceShow(step);
    };
    const cSceneRegistry& r = *demo.registry;
    auto scene = [&] {
        std::string keys;
        for (int i = 0; i < r.cameras[0]->keyCount; ++i) keys += std::to_string(int(r.cameras[0]->keys[i].t)) + " ";
        return keys + "/ " + std::to_string(r.cameraCount()) + " cameras " + std::to_string(r.textureCount()) +
               " textures " + std::to_string(r.surfaceCount()) + " surfaces " + std::to_string(demo.effectCount) +
               " effects " + std::to_string(demo.timeline.eventCount) + " events";
    };

    demo.timeline.clock = 0.3f;
    frame(1, 0); // forward: the events at 0.1 and 0.2 run once
    const std::string once = "0 100 200 300 / 2 cameras 1 textures 1 surfaces 1 effects 5 events";
    ASSERT_EQ(scene(), once);

    for (int i = 0; i < 5; ++i) frame(-100, 0.05f); // rewind to 0.05, rebuilding at every frame
    for (int i = 0; i < 10; ++i) frame(100, 0.05f); // fast-forward to 0.55
    for (int i = 0; i < 3; ++i) frame(1, 0);        // play on: the last replayed event fires again
    EXPECT_EQ(scene(), once);

    // An event that first runs during a fast-forward acts as it would
    // forward, once.
    for (int i = 0; i < 10; ++i) frame(100, 0.1f);
    EXPECT_EQ(r.cameraCount(), 3);
    EXPECT_EQ(r.cameras[2]->keyCount, 1);

    // Pressed live, a key event adds its keys every time, as before.
    demo.key('K', true);
    EXPECT_EQ(r.cameras[0]->keyCount, 5);
}

} // namespace
