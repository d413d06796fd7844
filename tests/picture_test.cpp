// The picture effect's script attributes and animation, made by the real
// lumafold library and read through the effect's own layout.
#include "common/scene/camera.h"
#include "common/scene/scene_registry.h"
#include "common/script/xml_tag.h"
#include "effects/picture.h"
#include "platform/library.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Picture, AttributesAnimationAndCameraFromTheRegistry)
{
    void* library = platform::openLibrary(KX_LUMAFOLD_PATH);
    ASSERT_NE(library, nullptr) << platform::lastLibraryError();
    auto get = reinterpret_cast<GetFxFunction>(platform::librarySymbol(library, "getFX"));
    ASSERT_NE(get, nullptr);

    cSceneRegistry registry;
    cCamera* declared = registry.createCamera("Main");
    cEffect* effect = get("picture");
    ASSERT_NE(effect, nullptr);
    effect->registry = &registry;
    cPicture* p = static_cast<cPicture*>(effect);
    EXPECT_EQ(p->camera, nullptr);
    EXPECT_EQ(p->scale[1], 1.0f);

    cXmlTag root;
    cXmlTag* e = root.addChild("pic");
    const std::string longName(70, 'n');
    for (auto a : std::initializer_list<std::pair<const char*, std::string>>{{"tra", "0.25,0,5"},
                                                                             {"rot", "0,0,90"},
                                                                             {"sca", "0.5,2"},
                                                                             {"trainc", "0.01,0,0"},
                                                                             {"rotinc", "0,0,0.1"},
                                                                             {"scainc", "0,0.5,0"},
                                                                             {"color", "ff336699"},
                                                                             {"speed", "0.5"},
                                                                             {"camera", "MAIN"},
                                                                             {"filename", longName}})
        e->addParam(a.first, a.second.c_str());
    testing::internal::CaptureStdout();
    effect->doXML(e);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("cPicture::doXML() 10\n", 0), 0u) << out;
    EXPECT_NE(out.find("file name longer than 63 characters"), std::string::npos);
    EXPECT_EQ(std::string(p->fileName), longName.substr(0, 63));

    EXPECT_EQ(p->camera, declared);
    EXPECT_FLOAT_EQ(p->position[0], 0.25f);
    EXPECT_EQ(p->position[2], 0.0f); // the third number of tra is not used
    // Degrees turn by 3.14 / 180: 90 gives 1.57, short of a right angle.
    EXPECT_FLOAT_EQ(p->rotation[2], 1.57f);
    EXPECT_EQ(p->scale[0], 0.5f);
    EXPECT_EQ(p->scale[1], 2.0f);
    EXPECT_EQ(p->scale[2], 1.0f); // not given: kept
    EXPECT_FLOAT_EQ(p->colour[0], 0x33 / 255.0f);
    EXPECT_FLOAT_EQ(p->colour[2], 0x99 / 255.0f);

    // update: every value grows by its increment times step times speed.
    effect->update(10);
    EXPECT_FLOAT_EQ(p->position[0], 0.3f);
    EXPECT_FLOAT_EQ(p->rotation[2], 1.57f + 0.5f); // increments are radians already
    EXPECT_FLOAT_EQ(p->scale[1], 4.5f);

    // An undeclared camera is made on first mention, by the registry's owner.
    root.addChild("pic")->addParam("camera", "nobody");
    effect->doXML(root.lastChild());
    EXPECT_EQ(registry.cameraCount(), 2);
    EXPECT_EQ(p->camera, registry.findCamera("nobody"));

    // Never loaded, still unloaded and destroyed; the registry and its
    // cameras outlive the library.
    effect->unload();
    delete effect;
    platform::closeLibrary(library);
    registry.advanceCameras(1);
    registry.clear();
}

} // namespace
