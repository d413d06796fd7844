// The render-state block: what a gl element sets, and the GL state that
// apply leaves, read back with glGet.
#include "common/effect/effect.h"
#include "common/effect/render_state.h"
#include "common/media/stream.h"
#include "gl_context.h"
#include "player/script_reader.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {

struct GlElement {
    cXmlTag root;
    explicit GlElement(const std::string& text)
    {
        cMemoryStream source(text.data(), static_cast<int>(text.size()));
        EXPECT_EQ(parse(&root, source), 0);
    }
    cXmlTag* tag() { return root.firstChild; }
};

cRenderState stateFrom(const std::string& glText)
{
    cRenderState s;
    GlElement e(glText);
    s.doXML(e.tag());
    return s;
}

bool enabled(GLenum what) { return glIsEnabled(what) == GL_TRUE; }

int attribDepth()
{
    GLint depth = 0;
    glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &depth);
    return depth;
}

TEST(RenderState, ReadsGroupsAndCodes)
{
    cRenderState s = stateFrom(R"(<gl restore="0">
        <render active="1" wire="1" flat="1" linewidth="2.5" envmap="1" color="0.1,0.2,0.3,0.4"/>
        <depth active="1" test="0" write="0"/>
        <cull active="1" cull="1" mode="2"/>
        <alpha active="1" blend="1" blendsrc="4" blenddst="12" mask="1" maskvalue="0.25"/>
        <proj active="1" fov="60" near="0.5" far="100"/>
        <fog active="1" on="1" mode="2" density="0.7" zstart="1" zend="9" color="ff336699"/>
        <unknown active="1"/>
    </gl>)");
    EXPECT_FALSE(s.restore);
    EXPECT_TRUE(s.renderActive && s.wire && s.flat && s.envmap);
    EXPECT_FLOAT_EQ(s.lineWidth, 2.5f);
    EXPECT_FLOAT_EQ(s.color[3], 0.4f);
    EXPECT_TRUE(s.depthActive);
    EXPECT_FALSE(s.depthTest || s.depthWrite);
    EXPECT_EQ(s.cullMode, 2);
    EXPECT_EQ(s.blendSrc, unsigned(GL_SRC_ALPHA));
    EXPECT_EQ(s.blendDst, unsigned(GL_ONE)); // unknown code
    EXPECT_FLOAT_EQ(s.alphaRef, 0.25f);
    EXPECT_FLOAT_EQ(s.fov, 60.0f);
    EXPECT_FLOAT_EQ(s.fogColor[0], 0x33 / 255.0f);
    EXPECT_FLOAT_EQ(s.fogColor[2], 0x99 / 255.0f);

    // Later gl elements override group by group; garbage reads as 0.
    GlElement later(R"(<gl><depth test="banana"/><render color="0.9"/></gl>)");
    s.doXML(later.tag());
    EXPECT_FALSE(s.depthTest);
    EXPECT_FLOAT_EQ(s.color[0], 0.9f);
    EXPECT_FLOAT_EQ(s.color[1], 0.2f); // components not given keep their value

    for (int code : {-1, 10, 12, 1000}) EXPECT_EQ(cRenderState::blendFactor(code), unsigned(GL_ONE));
    EXPECT_EQ(cRenderState::blendFactor(9), unsigned(GL_ONE_MINUS_DST_COLOR));
    EXPECT_EQ(cRenderState::blendFactor(0), unsigned(GL_ZERO));
}

TEST(RenderState, ApplySetsWhatTheScriptSwitchedOn)
{
    kxtest::GLContext gl;
    ASSERT_TRUE(gl.ok());

    // Defaults: only the attributes are pushed, and popping restores them.
    cRenderState plain;
    glEnable(GL_DEPTH_TEST);
    const int depthBefore = attribDepth();
    plain.apply();
    EXPECT_EQ(attribDepth(), depthBefore + 1);
    glDisable(GL_DEPTH_TEST); // as an effect's draw might
    glPopAttrib();
    EXPECT_TRUE(enabled(GL_DEPTH_TEST));

    cRenderState s = stateFrom(R"(<gl restore="0">
        <depth active="1" test="0" write="0"/>
        <cull active="1" mode="2"/>
        <alpha active="1" blend="1" blendsrc="4" blenddst="5" mask="1" maskvalue="0.25"/>
        <proj active="1" fov="60"/>
        <fog active="1" on="1"/>
    </gl>)");
    s.apply();
    EXPECT_EQ(attribDepth(), depthBefore); // restore 0 pushes nothing
    EXPECT_FALSE(enabled(GL_DEPTH_TEST));
    GLboolean mask = GL_TRUE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_EQ(mask, GL_FALSE);
    EXPECT_TRUE(enabled(GL_CULL_FACE));
    GLint face = 0;
    glGetIntegerv(GL_CULL_FACE_MODE, &face);
    EXPECT_EQ(face, GL_FRONT);
    EXPECT_TRUE(enabled(GL_BLEND));
    GLint src = 0, dst = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(src, GL_SRC_ALPHA);
    EXPECT_EQ(dst, GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_TRUE(enabled(GL_ALPHA_TEST));
    GLfloat ref = 0;
    glGetFloatv(GL_ALPHA_TEST_REF, &ref);
    EXPECT_FLOAT_EQ(ref, 0.25f);

    // A 60-degree perspective at aspect 4/3, near 0.1, far 400.
    GLfloat p[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    const double f = 1.0 / std::tan(60.0 * M_PI / 360.0);
    EXPECT_NEAR(p[5], f, 1e-5);
    EXPECT_NEAR(p[0], f / (4.0 / 3.0), 1e-5);
    EXPECT_NEAR(p[10], (400.0 + 0.1) / (0.1 - 400.0), 1e-5);
    GLint matrixMode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
    EXPECT_EQ(matrixMode, GL_MODELVIEW);

    // Fog on with nothing else: linear red fog from 0 to 1.
    EXPECT_TRUE(enabled(GL_FOG));
    GLint fogMode = 0;
    glGetIntegerv(GL_FOG_MODE, &fogMode);
    EXPECT_EQ(fogMode, GL_LINEAR);
    GLfloat fogColour[4], fogEnd = 0;
    glGetFloatv(GL_FOG_COLOR, fogColour);
    glGetFloatv(GL_FOG_END, &fogEnd);
    EXPECT_FLOAT_EQ(fogColour[0], 1.0f);
    EXPECT_FLOAT_EQ(fogColour[1], 0.0f);
    EXPECT_FLOAT_EQ(fogEnd, 1.0f);

    // Fog active without on switches it off.
    cRenderState off = stateFrom(R"(<gl restore="0"><fog active="1"/></gl>)");
    off.apply();
    EXPECT_FALSE(enabled(GL_FOG));
}

TEST(Effect, BaseReadsActiveSpeedAndEveryGlChildInOrder)
{
    struct cPlain : cEffect {
        void update(float) override { }
    } e;
    EXPECT_TRUE(e.active);
    EXPECT_FLOAT_EQ(e.speed, 1.0f);
    ASSERT_NE(e.renderState, nullptr);
    GlElement el(R"(<fx active="0" speed="2.5abc">
        <gl><depth active="1" test="0"/></gl>
        <gl><depth test="1"/><cull active="1"/></gl>
    </fx>)");
    e.doXML(el.tag());
    EXPECT_FALSE(e.active);
    EXPECT_FLOAT_EQ(e.speed, 2.5f);
    EXPECT_TRUE(e.renderState->depthActive);
    EXPECT_TRUE(e.renderState->depthTest);
    EXPECT_TRUE(e.renderState->cullActive);

    e.setName("0123456789abcdefXYZ");
    EXPECT_STREQ(e.name, "0123456789abcde");
    e.resize(320, 200);
    EXPECT_FLOAT_EQ(e.width, 320.0f);
    EXPECT_STREQ(paramTypeWord(6), "float");
    EXPECT_STREQ(paramTypeWord(7), "unknown");

    float rgba[4];
    readHexColour("ff102030", rgba);
    EXPECT_FLOAT_EQ(rgba[0], 16 / 255.0f);
    EXPECT_FLOAT_EQ(rgba[3], 1.0f);
    readHexColour("102030", rgba);
    EXPECT_FLOAT_EQ(rgba[3], 0.0f);
    readHexColour("0x80000000", rgba);
    EXPECT_FLOAT_EQ(rgba[3], 128 / 255.0f);
    readHexColour("fffffffffffff", rgba); // saturates
    EXPECT_FLOAT_EQ(rgba[0], 1.0f);
}

} // namespace
