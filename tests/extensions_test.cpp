// The OpenGL extension loader: whole-word rule, version rule, the table and
// the loader itself, driven by a fake entry-point lookup.
#include "platform/gl_procs.h"
#include "player/extensions.h"

#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

TEST(ExtensionWord, FindsWholeWordsAnywhere)
{
    const char* list = "GL_ARB_multitexture GL_EXT_abgr GL_NV_fence";
    EXPECT_TRUE(extensionSupported("GL_ARB_multitexture", list));
    EXPECT_TRUE(extensionSupported("GL_EXT_abgr", list));
    EXPECT_TRUE(extensionSupported("GL_NV_fence", list));
    EXPECT_TRUE(extensionSupported("GL_NV_fence", "GL_NV_fence"));
    EXPECT_TRUE(extensionSupported("GL_A", "  GL_B  GL_A  "));
    EXPECT_FALSE(extensionSupported("GL_EXT_bgra", list));
    EXPECT_FALSE(extensionSupported("GL_NV_fence", ""));
}

TEST(ExtensionWord, PartOfLongerNameIsPassedOver)
{
    // A prefix of a longer name only.
    EXPECT_FALSE(extensionSupported("GL_NV_texture_shader", "GL_NV_texture_shader2 GL_NV_texture_shader3"));
    // ... and the search goes on to the word of its own behind it.
    EXPECT_TRUE(extensionSupported("GL_NV_texture_shader", "GL_NV_texture_shader2 GL_NV_texture_shader"));
    EXPECT_TRUE(extensionSupported("GL_NV_texture_shader", "GL_NV_texture_shader3 GL_NV_texture_shader GL_X"));
    // The tail of a longer name.
    EXPECT_FALSE(extensionSupported("GL_EXT_abgr", "XGL_EXT_abgr"));
    EXPECT_TRUE(extensionSupported("GL_EXT_abgr", "XGL_EXT_abgr GL_EXT_abgr"));
    // Directly followed by another name.
    EXPECT_FALSE(extensionSupported("GL_A", "GL_AGL_A"));
}

TEST(ExtensionWord, BadNamesAndListsAreNeverSupported)
{
    EXPECT_FALSE(extensionSupported("", "GL_A GL_B"));
    EXPECT_FALSE(extensionSupported("", ""));
    EXPECT_FALSE(extensionSupported("", " "));
    EXPECT_FALSE(extensionSupported("GL_A GL_B", "GL_A GL_B"));
    EXPECT_FALSE(extensionSupported(" GL_A", "x GL_A"));
    EXPECT_FALSE(extensionSupported("GL_A", nullptr));
    EXPECT_FALSE(extensionSupported(nullptr, "GL_A"));
}

TEST(ExtensionVersion, MinorDigitAfterOneDot)
{
    EXPECT_EQ(coreVersionLevel("1.1.0"), 0);
    EXPECT_EQ(coreVersionLevel("1.2"), 2);
    EXPECT_EQ(coreVersionLevel("1.3.1"), 3);
    EXPECT_EQ(coreVersionLevel("1.4.0 Build 1234"), 4);
    EXPECT_EQ(coreVersionLevel("1.5.0"), 4);
    EXPECT_EQ(coreVersionLevel("1.1 Mesa 21.3.1"), 0);
    // Without a leading number the first "1." decides.
    EXPECT_EQ(coreVersionLevel("OpenGL 1.3"), 3);
    EXPECT_EQ(coreVersionLevel("no version"), 0);
    EXPECT_EQ(coreVersionLevel("1."), 0);
    EXPECT_EQ(coreVersionLevel(""), 0);
    EXPECT_EQ(coreVersionLevel(nullptr), 0);
}

TEST(ExtensionVersion, MajorTwoOrMoreHasEverything)
{
    // The first "1." of these lies inside another number.
    EXPECT_EQ(coreVersionLevel("2.1 Mesa 21.1.0"), 4);
    EXPECT_EQ(coreVersionLevel("3.1 Mesa 21.2.1"), 4);
    EXPECT_EQ(coreVersionLevel("4.5 (Compatibility Profile) Mesa 22.3.6"), 4);
    EXPECT_EQ(coreVersionLevel("2.0"), 4);
    EXPECT_EQ(coreVersionLevel("10.0"), 4);
    EXPECT_EQ(coreVersionLevel("99999999999999999999999.0"), 4);
    // A number that is not a "major.minor" is no version.
    EXPECT_EQ(coreVersionLevel("4 Mesa"), 0);
    EXPECT_EQ(coreVersionLevel("0.9"), 0);
}

// Entry-point counts of every row, as the extensions define them.
const std::map<std::string, int> kExpectedCounts = {
    {"GL_VERSION_1_2", 4},
    {"GL_VERSION_1_3", 46},
    {"GL_VERSION_1_4", 45},
    {"wglGetExtensionsStringARB", 1},
    {"wglGetExtensionsStringEXT", 1},
    {"GL_ARB_fragment_program", 19},
    {"GL_ARB_imaging", 34},
    {"GL_ARB_matrix_palette", 5},
    {"GL_ARB_multisample", 1},
    {"GL_ARB_multitexture", 34},
    {"GL_ARB_point_parameters", 2},
    {"GL_ARB_texture_compression", 7},
    {"GL_ARB_transpose_matrix", 4},
    {"GL_ARB_vertex_blend", 10},
    {"GL_ARB_vertex_program", 62},
    {"GL_ARB_window_pos", 16},
    {"GL_ATI_draw_buffers", 1},
    {"GL_ATI_element_array", 3},
    {"GL_ATI_envmap_bumpmap", 4},
    {"GL_ATI_fragment_shader", 14},
    {"GL_ATI_map_object_buffer", 2},
    {"GL_ATI_pn_triangles", 2},
    {"GL_ATI_separate_stencil", 2},
    {"GL_ATI_vertex_array_object", 12},
    {"GL_ATI_vertex_attrib_array_object", 3},
    {"GL_ATI_vertex_streams", 37},
    {"GL_EXT_blend_color", 1},
    {"GL_EXT_blend_func_separate", 1},
    {"GL_EXT_blend_minmax", 1},
    {"GL_EXT_compiled_vertex_array", 2},
    {"GL_EXT_cull_vertex", 2},
    {"GL_EXT_draw_range_elements", 1},
    {"GL_EXT_fog_coord", 5},
    {"GL_EXT_multi_draw_arrays", 2},
    {"GL_EXT_point_parameters", 2},
    {"GL_EXT_secondary_color", 17},
    {"GL_EXT_stencil_two_side", 1},
    {"GL_EXT_vertex_shader", 42},
    {"GL_EXT_vertex_weighting", 3},
    {"GL_NV_element_array", 5},
    {"GL_NV_fence", 7},
    {"GL_NV_fragment_program", 6},
    {"GL_NV_half_float", 46},
    {"GL_NV_occlusion_query", 7},
    {"GL_NV_pixel_data_range", 2},
    {"GL_NV_point_sprite", 2},
    {"GL_NV_primitive_restart", 2},
    {"GL_NV_register_combiners", 13},
    {"GL_NV_register_combiners2", 2},
    {"GL_NV_vertex_array_range", 4},
    {"GL_NV_vertex_program", 64},
    {"WGL_ARB_buffer_region", 4},
    {"WGL_ARB_make_current_read", 2},
    {"WGL_ARB_multisample", 0},
    {"WGL_ARB_pbuffer", 5},
    {"WGL_ARB_pixel_format", 3},
    {"WGL_ARB_render_texture", 3},
    {"WGL_ATI_pixel_format_float", 0},
    {"WGL_EXT_swap_control", 2},
    {"WGL_NV_render_depth_texture", 0},
    {"WGL_NV_render_texture_rectangle", 0},
};

bool endsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(ExtensionTable, RowsAndCounts)
{
    const sExtensionRow* table = extensionTable();
    std::set<std::string> names;
    int kinds[4] = {};
    int total = 0;
    for (int row = 0; row < kExtensionRowCount; ++row) {
        const sExtensionRow& r = table[row];
        ASSERT_NE(r.name, nullptr);
        EXPECT_TRUE(names.insert(r.name).second) << "twice: " << r.name;
        EXPECT_EQ(extensionRow(r.name), row);
        ++kinds[static_cast<int>(r.kind)];
        EXPECT_EQ(firstEntryPoint(row), total) << r.name;
        total += r.entryPointCount;
        EXPECT_EQ(r.entryPoints == nullptr, r.entryPointCount == 0) << r.name;

        const auto expected = kExpectedCounts.find(r.name);
        if (expected != kExpectedCounts.end())
            EXPECT_EQ(r.entryPointCount, expected->second) << r.name;
        else
            EXPECT_EQ(r.entryPointCount, 0) << r.name << " should be a flag only";
    }
    EXPECT_EQ(names.size(), 111u);
    EXPECT_EQ(kinds[static_cast<int>(ExtensionKind::coreVersion)], 3);
    EXPECT_EQ(kinds[static_cast<int>(ExtensionKind::wglStringProc)], 2);
    EXPECT_EQ(kinds[static_cast<int>(ExtensionKind::wglExtension)], 10);
    EXPECT_EQ(kinds[static_cast<int>(ExtensionKind::glExtension)], 96);
    EXPECT_EQ(total, kEntryPointCount);
    for (const auto& e : kExpectedCounts) EXPECT_GE(extensionRow(e.first.c_str()), 0) << e.first << " missing";
    EXPECT_EQ(extensionRow("GL_ARB_vertex_buffer_object"), -1);
    EXPECT_EQ(extensionRow(nullptr), -1);
}

TEST(ExtensionTable, EntryPointNames)
{
    const sExtensionRow* table = extensionTable();
    for (int row = 0; row < kExtensionRowCount; ++row) {
        const sExtensionRow& r = table[row];
        const std::string rowName = r.name;
        // The vendor suffix every entry point of an extension carries.
        std::string suffix;
        if (r.kind == ExtensionKind::glExtension || r.kind == ExtensionKind::wglExtension) {
            const std::size_t a = rowName.find('_');
            const std::size_t b = rowName.find('_', a + 1);
            suffix = rowName.substr(a + 1, b - a - 1);
        }
        if (rowName == "GL_ARB_imaging") suffix.clear(); // the unsuffixed 1.2 calls
        const bool wgl = r.kind == ExtensionKind::wglExtension || r.kind == ExtensionKind::wglStringProc;

        std::set<std::string> seen;
        for (int i = 0; i < r.entryPointCount; ++i) {
            const sEntryPoint& e = r.entryPoints[i];
            ASSERT_NE(e.name, nullptr) << rowName;
            const std::string name = e.name;
            EXPECT_FALSE(name.empty()) << rowName;
            EXPECT_EQ(name.find(' '), std::string::npos) << name;
            EXPECT_TRUE(seen.insert(name).second) << name << " twice in " << rowName;
            if (rowName != "GL_NV_vertex_array_range") {
                EXPECT_EQ(name.rfind(wgl ? "wgl" : "gl", 0), 0u) << name;
            }
            if (!suffix.empty()) {
                EXPECT_TRUE(endsWith(name, suffix)) << name << " in " << rowName;
            }
            // Companion features must be rows of their own.
            EXPECT_TRUE(e.needs || !e.needsOr) << name;
            if (e.needs) {
                EXPECT_GE(extensionRow(e.needs), 0) << e.needs;
                EXPECT_EQ(rowName, "GL_NV_half_float") << name;
            }
            if (e.needsOr) {
                EXPECT_GE(extensionRow(e.needsOr), 0) << e.needsOr;
            }
        }
    }
}

// Entry points handed out by the fake lookup: a distinct address per name,
// and a record of every request.
class FakeDriver {
public:
    std::set<std::string> missing; // names that come back null
    bool noneAtAll = false;
    std::vector<std::string> requests;

    ProcLookup lookup()
    {
        return [this](const char* name) -> void* {
            requests.emplace_back(name);
            if (noneAtAll || missing.count(name)) return nullptr;
            auto it = addresses_.find(name);
            if (it == addresses_.end()) it = addresses_.emplace(name, &slots_[addresses_.size() % kSlots]).first;
            return it->second;
        };
    }
    void* addressOf(const std::string& name) const
    {
        const auto it = addresses_.find(name);
        return it == addresses_.end() ? nullptr : it->second;
    }
    bool requested(const std::string& name) const
    {
        return std::find(requests.begin(), requests.end(), name) != requests.end();
    }
    int requestCount(const char* tail) const
    {
        return static_cast<int>(
            std::count_if(requests.begin(), requests.end(), [&](const std::string& r) { return endsWith(r, tail); }));
    }

private:
    static constexpr std::size_t kSlots = 1024;
    char slots_[kSlots] = {};
    std::map<std::string, void*> addresses_;
};

std::string allNamesOf(ExtensionKind kind)
{
    std::string s;
    const sExtensionRow* table = extensionTable();
    for (int row = 0; row < kExtensionRowCount; ++row)
        if (table[row].kind == kind) s += std::string(table[row].name) + " ";
    return s;
}

const char* kWglBoth = "WGL_EXT_swap_control WGL_ARB_make_current_read";

class ExtensionLoader : public ::testing::Test {
protected:
    FakeDriver driver;
    std::unique_ptr<sGLExtensions> ext{new sGLExtensions()};

    int load(const char* version, const char* gl, const char* wgl)
    {
        driver.requests.clear();
        return loadExtensionsFrom(version, gl, wgl, driver.lookup(), *ext);
    }
    // Requests other than the two WGL extension-string entry points.
    std::vector<std::string> otherRequests() const
    {
        std::vector<std::string> out;
        for (const std::string& r : driver.requests)
            if (r != "wglGetExtensionsStringARB" && r != "wglGetExtensionsStringEXT") out.push_back(r);
        return out;
    }
};

TEST_F(ExtensionLoader, EverythingPresent)
{
    const std::string gl = allNamesOf(ExtensionKind::glExtension);
    const std::string wgl = allNamesOf(ExtensionKind::wglExtension);
    EXPECT_EQ(load("1.5.0", gl.c_str(), wgl.c_str()), 0);
    for (int row = 0; row < kExtensionRowCount; ++row) EXPECT_EQ(ext->flags[row], 1) << extensionTable()[row].name;
    for (int i = 0; i < kEntryPointCount; ++i) EXPECT_NE(ext->procs[i], nullptr) << i;
    EXPECT_EQ(static_cast<int>(driver.requests.size()), kEntryPointCount);

    // Pointers sit in the slot of their own row, also for names two rows share.
    EXPECT_EQ(ext->proc("GL_ARB_multitexture", "glActiveTextureARB"), driver.addressOf("glActiveTextureARB"));
    EXPECT_EQ(ext->proc("GL_VERSION_1_4", "glBlendColor"), driver.addressOf("glBlendColor"));
    EXPECT_EQ(ext->proc("GL_ARB_imaging", "glBlendColor"), driver.addressOf("glBlendColor"));
    EXPECT_EQ(ext->proc("GL_NV_vertex_program", "glVertexAttribs4ubvNV"), driver.addressOf("glVertexAttribs4ubvNV"));
    EXPECT_EQ(reinterpret_cast<void*>(ext->wglSwapIntervalEXT), driver.addressOf("wglSwapIntervalEXT"));
    EXPECT_EQ(reinterpret_cast<void*>(ext->wglGetSwapIntervalEXT), driver.addressOf("wglGetSwapIntervalEXT"));
    EXPECT_EQ(reinterpret_cast<void*>(ext->wglMakeContextCurrentARB), driver.addressOf("wglMakeContextCurrentARB"));
    EXPECT_EQ(reinterpret_cast<void*>(ext->wglGetCurrentReadDCARB), driver.addressOf("wglGetCurrentReadDCARB"));
    EXPECT_EQ(reinterpret_cast<void*>(ext->wglGetExtensionsStringARB), driver.addressOf("wglGetExtensionsStringARB"));
    EXPECT_NE(ext->wglSwapIntervalEXT, nullptr);
    EXPECT_EQ(ext->flag("GL_NV_texture_shader3"), 1);
    EXPECT_EQ(ext->flag("GL_NO_such_extension"), 0);
    EXPECT_EQ(ext->proc("GL_ARB_multitexture", "glBlendColor"), nullptr);
    EXPECT_EQ(ext->proc(nullptr, "glBlendColor"), nullptr);
    EXPECT_EQ(ext->proc("GL_ARB_imaging", nullptr), nullptr);

    // A second load sets everything anew.
    EXPECT_EQ(load("1.1.0", "", nullptr), 0);
    for (int row = 0; row < kExtensionRowCount; ++row)
        if (extensionTable()[row].kind != ExtensionKind::wglStringProc) {
            EXPECT_EQ(ext->flags[row], 0) << extensionTable()[row].name;
        }
    EXPECT_EQ(ext->wglSwapIntervalEXT, nullptr);
    EXPECT_EQ(ext->proc("GL_ARB_multitexture", "glActiveTextureARB"), nullptr);
}

TEST_F(ExtensionLoader, OnlyPresentOnesAreRequested)
{
    load("1.1.0", "GL_NV_texture_shader2 GL_ARB_multitexture GL_EXT_abgr", kWglBoth);
    EXPECT_EQ(ext->flag("GL_ARB_multitexture"), 1);
    EXPECT_EQ(ext->flag("GL_EXT_abgr"), 1);
    EXPECT_EQ(ext->flag("GL_NV_texture_shader"), 0);
    EXPECT_EQ(ext->flag("GL_NV_texture_shader2"), 1);
    EXPECT_EQ(ext->flag("GL_VERSION_1_2"), 0);

    std::set<std::string> wanted;
    const sExtensionRow& mt = extensionTable()[extensionRow("GL_ARB_multitexture")];
    for (int i = 0; i < mt.entryPointCount; ++i) wanted.insert(mt.entryPoints[i].name);
    wanted.insert(
        {"wglSwapIntervalEXT", "wglGetSwapIntervalEXT", "wglMakeContextCurrentARB", "wglGetCurrentReadDCARB"});
    const std::vector<std::string> other = otherRequests();
    EXPECT_EQ(std::set<std::string>(other.begin(), other.end()), wanted);
    EXPECT_EQ(other.size(), wanted.size());
}

TEST_F(ExtensionLoader, VersionFlagsBringCoreEntryPoints)
{
    load("1.3.1", "", nullptr);
    EXPECT_EQ(ext->flag("GL_VERSION_1_2"), 1);
    EXPECT_EQ(ext->flag("GL_VERSION_1_3"), 1);
    EXPECT_EQ(ext->flag("GL_VERSION_1_4"), 0);
    EXPECT_EQ(static_cast<int>(otherRequests().size()), 4 + 46);
    EXPECT_TRUE(driver.requested("glTexImage3D"));
    EXPECT_TRUE(driver.requested("glSampleCoverage"));
    EXPECT_FALSE(driver.requested("glBlendColor"));
    EXPECT_NE(ext->proc("GL_VERSION_1_3", "glActiveTexture"), nullptr);

    load("4.5 (Compatibility Profile) Mesa 22.3.6", nullptr, nullptr);
    EXPECT_EQ(ext->flag("GL_VERSION_1_4"), 1);
    EXPECT_EQ(static_cast<int>(otherRequests().size()), 4 + 46 + 45);
}

TEST_F(ExtensionLoader, HalfFloatVariantsFollowTheirFeatures)
{
    // "hNV"/"hvNV" ends the names of GL_NV_half_float's calls only.
    const auto halfCalls = [this] { return driver.requestCount("hNV") + driver.requestCount("hvNV"); };
    load("1.2", "GL_NV_half_float", nullptr);
    EXPECT_EQ(halfCalls(), 20);
    EXPECT_FALSE(driver.requested("glMultiTexCoord1hNV"));
    EXPECT_FALSE(driver.requested("glFogCoordhNV"));

    load("1.3", "GL_NV_half_float", nullptr);
    EXPECT_EQ(halfCalls(), 28);
    EXPECT_TRUE(driver.requested("glMultiTexCoord4hvNV"));

    load("1.1", "GL_ARB_multitexture GL_NV_half_float", nullptr);
    EXPECT_EQ(halfCalls(), 28);

    load("1.1", "GL_NV_half_float GL_EXT_fog_coord", nullptr);
    EXPECT_EQ(halfCalls(), 22);
    EXPECT_TRUE(driver.requested("glFogCoordhvNV"));

    load("1.1", "GL_NV_half_float GL_EXT_secondary_color", nullptr);
    EXPECT_EQ(halfCalls(), 22);
    EXPECT_TRUE(driver.requested("glSecondaryColor3hNV"));

    load("1.1", "GL_NV_half_float GL_EXT_vertex_weighting", nullptr);
    EXPECT_EQ(halfCalls(), 22);
    EXPECT_TRUE(driver.requested("glVertexWeighthNV"));

    load("1.1", "GL_NV_half_float GL_NV_vertex_program", nullptr);
    EXPECT_EQ(halfCalls(), 32);
    EXPECT_TRUE(driver.requested("glVertexAttribs4hvNV"));

    load("1.5", "GL_NV_half_float GL_EXT_fog_coord GL_EXT_secondary_color GL_EXT_vertex_weighting GL_NV_vertex_program",
         nullptr);
    EXPECT_EQ(halfCalls(), 46);

    // The companions alone bring no half-float call.
    load("1.5", "GL_EXT_fog_coord GL_NV_vertex_program", nullptr);
    EXPECT_EQ(halfCalls(), 0);
}

TEST_F(ExtensionLoader, NoVersionStringMeansNoGlPart)
{
    const std::string gl = allNamesOf(ExtensionKind::glExtension);
    EXPECT_EQ(load(nullptr, gl.c_str(), kWglBoth), 0);
    for (int row = 0; row < kExtensionRowCount; ++row) {
        const sExtensionRow& r = extensionTable()[row];
        if (r.kind == ExtensionKind::coreVersion || r.kind == ExtensionKind::glExtension) {
            EXPECT_EQ(ext->flags[row], 0) << r.name;
        }
    }
    for (const std::string& r : driver.requests) EXPECT_EQ(r.rfind("wgl", 0), 0u) << r;
    EXPECT_EQ(ext->flag("WGL_EXT_swap_control"), 1);
    EXPECT_NE(ext->wglSwapIntervalEXT, nullptr);
}

TEST_F(ExtensionLoader, ErrorFlagReflectsOnlyWgl)
{
    // A missing GL entry point leaves its pointer null but is not reported.
    driver.missing = {"glActiveTextureARB"};
    EXPECT_EQ(load("1.1", "GL_ARB_multitexture", kWglBoth), 0);
    EXPECT_EQ(ext->error, 0);
    EXPECT_EQ(ext->flag("GL_ARB_multitexture"), 1);
    EXPECT_EQ(ext->proc("GL_ARB_multitexture", "glActiveTextureARB"), nullptr);
    EXPECT_NE(ext->proc("GL_ARB_multitexture", "glClientActiveTextureARB"), nullptr);

    // A missing WGL one is.
    driver.missing = {"wglGetSwapIntervalEXT"};
    EXPECT_EQ(load("1.1", "", kWglBoth), 1);
    EXPECT_EQ(ext->error, 1);
    EXPECT_EQ(ext->flag("WGL_EXT_swap_control"), 1);
    EXPECT_EQ(ext->wglGetSwapIntervalEXT, nullptr);
    EXPECT_NE(ext->wglSwapIntervalEXT, nullptr);

    // Null extension-string entry points are no error: they only mean no
    // WGL extension is asked for.
    driver.missing.clear();
    driver.noneAtAll = true;
    EXPECT_EQ(load("1.1", "", kWglBoth), 0);
    EXPECT_EQ(driver.requests.size(), 2u);

    // A WGL extension that is named but whose calls come back null.
    driver.noneAtAll = false;
    driver.missing = {"wglMakeContextCurrentARB", "wglGetCurrentReadDCARB"};
    EXPECT_EQ(load("1.1", "", "WGL_ARB_make_current_read"), 1);
    EXPECT_EQ(ext->wglMakeContextCurrentARB, nullptr);
}

TEST_F(ExtensionLoader, WglStringNeedsAnEntryPoint)
{
    // Neither extension-string entry point: the string is not looked at.
    driver.missing = {"wglGetExtensionsStringARB", "wglGetExtensionsStringEXT"};
    EXPECT_EQ(load("1.1", "", kWglBoth), 0);
    EXPECT_EQ(ext->flag("wglGetExtensionsStringARB"), 0);
    EXPECT_EQ(ext->flag("wglGetExtensionsStringEXT"), 0);
    EXPECT_EQ(ext->flag("WGL_EXT_swap_control"), 0);
    EXPECT_EQ(ext->flag("WGL_ARB_make_current_read"), 0);
    EXPECT_TRUE(otherRequests().empty());
    EXPECT_EQ(driver.requests.size(), 2u);

    // Either one is enough.
    driver.missing = {"wglGetExtensionsStringARB"};
    load("1.1", "", "WGL_ARB_pbuffer");
    EXPECT_EQ(ext->flag("wglGetExtensionsStringARB"), 0);
    EXPECT_EQ(ext->flag("wglGetExtensionsStringEXT"), 1);
    EXPECT_EQ(ext->flag("WGL_ARB_pbuffer"), 1);
    EXPECT_EQ(ext->flag("WGL_EXT_swap_control"), 0);
    EXPECT_EQ(otherRequests().size(), 5u);

    // Entry points but no string.
    driver.missing.clear();
    load("1.1", "", nullptr);
    EXPECT_EQ(ext->flag("wglGetExtensionsStringARB"), 1);
    EXPECT_TRUE(otherRequests().empty());
}

// The SDL back end's WGL shims, through the loader, without a GL context.
TEST(ExtensionPlatform, SdlShimsProvideSwapControlAndMakeCurrentRead)
{
    EXPECT_EQ(platform::getProcAddress(nullptr), nullptr);
    EXPECT_EQ(platform::getProcAddress(""), nullptr);
    EXPECT_EQ(platform::getProcAddress("wglCreatePbufferARB"), nullptr);
    EXPECT_EQ(platform::getProcAddress("wglAllocateMemoryNV"), nullptr);
    const char* wgl = platform::windowSystemExtensions();
    ASSERT_NE(wgl, nullptr);
    EXPECT_TRUE(extensionSupported("WGL_EXT_swap_control", wgl));
    EXPECT_TRUE(extensionSupported("WGL_ARB_make_current_read", wgl));

    std::unique_ptr<sGLExtensions> ext(new sGLExtensions());
    EXPECT_EQ(loadExtensionsFrom(nullptr, nullptr, wgl, platform::getProcAddress, *ext), 0);
    EXPECT_EQ(ext->flag("WGL_EXT_swap_control"), 1);
    EXPECT_EQ(ext->flag("WGL_ARB_make_current_read"), 1);
    EXPECT_EQ(ext->flag("WGL_ARB_pbuffer"), 0);
    ASSERT_NE(ext->wglGetExtensionsStringARB, nullptr);
    ASSERT_NE(ext->wglGetExtensionsStringEXT, nullptr);
    EXPECT_STREQ(ext->wglGetExtensionsStringARB(nullptr), wgl);
    EXPECT_STREQ(ext->wglGetExtensionsStringEXT(), wgl);
    ASSERT_NE(ext->wglSwapIntervalEXT, nullptr);
    ASSERT_NE(ext->wglMakeContextCurrentARB, nullptr);
    ASSERT_NE(ext->wglGetCurrentReadDCARB, nullptr);
    // A read surface other than the draw surface cannot be honoured.
    int a = 0, b = 0;
    EXPECT_EQ(ext->wglMakeContextCurrentARB(&a, &b, nullptr), 0);
}

// The loader against a real driver: an offscreen window with Mesa's
// software renderer where one can be made.
TEST(ExtensionPlatform, LoadsFromARealContext)
{
#if defined(__SANITIZE_ADDRESS__)
    // Mesa's drivers keep allocations past their unloading; they are not ours.
    struct NoLeakCheck {
        NoLeakCheck() { __lsan_disable(); }
        ~NoLeakCheck() { __lsan_enable(); }
    } noLeakCheck;
#endif
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen"); // the environment still wins
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) GTEST_SKIP() << "no video: " << SDL_GetError();
    SDL_Window* window = SDL_CreateWindow("kx", 0, 0, 32, 32, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context) {
        const std::string why = SDL_GetError();
        if (window) SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        GTEST_SKIP() << "no GL context: " << why;
    }

    EXPECT_EQ(loadExtensions(), 0);
    const int level = coreVersionLevel(reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    EXPECT_EQ(gExt.flag("GL_VERSION_1_2"), level >= 2);
    EXPECT_EQ(gExt.flag("GL_VERSION_1_4"), level >= 4);
    const char* glExtensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    EXPECT_EQ(gExt.flag("GL_ARB_multitexture"), extensionSupported("GL_ARB_multitexture", glExtensions));
    if (gExt.flag("GL_ARB_multitexture")) {
        EXPECT_NE(gExt.proc("GL_ARB_multitexture", "glActiveTextureARB"), nullptr);
    }
    if (gExt.flag("GL_VERSION_1_3")) {
        EXPECT_NE(gExt.proc("GL_VERSION_1_3", "glActiveTexture"), nullptr);
    }
    ASSERT_NE(gExt.wglSwapIntervalEXT, nullptr);
    EXPECT_EQ(gExt.wglSwapIntervalEXT(0), 1);
    EXPECT_EQ(gExt.wglGetSwapIntervalEXT(), 0);

    SDL_GL_MakeCurrent(window, nullptr);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    SDL_ResetHint(SDL_HINT_VIDEODRIVER);
}

} // namespace
