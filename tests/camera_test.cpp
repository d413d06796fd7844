// Camera keys, path easing and curves, loop modes and the view matrix,
// checked against values worked out by hand.
#include "common/scene/camera.h"
#include "common/script/xml_tag.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

namespace {

// Adds a key element with the given attributes; false when refused.
bool addKey(cCamera& c, std::initializer_list<std::pair<const char*, std::string>> attributes)
{
    cXmlTag root;
    cXmlTag* key = root.addChild("key");
    for (const auto& a : attributes) key->addParam(a.first, a.second.c_str());
    return c.addKey(key);
}

// Keys at t 0, 100 and 200 with x positions 0, 10 and 40.
void threeKeys(cCamera& c)
{
    addKey(c, {{"t", "0"}, {"pos", "0,0,0"}});
    addKey(c, {{"t", "100"}, {"pos", "10,0,0"}});
    addKey(c, {{"t", "200"}, {"pos", "40,0,0"}});
}

// First segment at clock 50: eased time 20.703125, u = 0.20703125; with the
// neighbours clamped P0 = P1 = 0, P2 = 10, P3 = 40, so m1 = 5, m2 = 20 and
// x = 5 h10 + 20 h11 + 10 h01.
constexpr double kXAt50 = 1.07952505;

TEST(Camera, ThreeKeysEaseThroughTheMiddleKeyAndRestAtTheEnds)
{
    cCamera c;
    threeKeys(c);
    EXPECT_EQ(c.duration, 200.0f);
    c.advance(0);
    EXPECT_EQ(c.frame, 0.0f);
    c.advance(50); // s = 0.25: 200 * s^3 (6s^2 - 15s + 10) = 200 * 0.103515625
    EXPECT_FLOAT_EQ(c.frame, 20.703125f);
    EXPECT_NEAR(c.pos[0], kXAt50, 1e-5);
    c.advance(50); // symmetric about the middle
    EXPECT_FLOAT_EQ(c.frame, 100.0f);
    EXPECT_EQ(c.currentKey, 1);
    EXPECT_FLOAT_EQ(c.pos[0], 10.0f);
    c.advance(150); // past the duration: resting on the last key
    EXPECT_GT(c.frame, 200.0f);
    EXPECT_EQ(c.currentKey, 2);
    EXPECT_FLOAT_EQ(c.pos[0], 40.0f);
}

TEST(Camera, KeyDefaultsOneKeyAndNoKeys)
{
    cCamera c;
    testing::internal::CaptureStdout();
    addKey(c, {{"pos", "1,2,3"}, {"lookat", "7,8,9"}, {"fov", "70"}, {"viewport", "0.1,0.2,0.3,0.4"}});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "## add key FOV 70.000000\n");
    c.advance(1); // one key: the camera sits on it
    EXPECT_FLOAT_EQ(c.pos[1], 2.0f);
    EXPECT_FLOAT_EQ(c.viewport[3], 0.4f);
    EXPECT_FLOAT_EQ(c.fov, 70.0f);

    addKey(c, {{"pos", "9"}}); // copies the key before, t + 1; a short vector keeps the rest
    const cCameraKey& k = c.keys[1];
    EXPECT_EQ(k.t, 1.0f);
    EXPECT_EQ(k.pos[0], 9.0f);
    EXPECT_EQ(k.pos[2], 3.0f);
    EXPECT_EQ(k.lookat[1], 8.0f);
    EXPECT_EQ(k.fov, 70.0f);
    EXPECT_EQ(c.duration, 0.001f); // defaulted times never raise it
    c.advance(1);                  // so the camera is at the last key at once
    EXPECT_FLOAT_EQ(c.pos[0], 9.0f);

    cCamera none;
    none.setPos(5, 6, 7);
    none.advance(25);
    EXPECT_EQ(none.time, 0.0f);
    EXPECT_EQ(none.pos[0], 5.0f);
}

TEST(Camera, AHundredKeysKeepTheFirst64)
{
    cCamera c;
    std::snprintf(c.name, sizeof c.name, "many");
    testing::internal::CaptureStdout();
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(addKey(c, {{"t", std::to_string(i * 10)}, {"pos", std::to_string(i)}}), i < 64) << i;
    const std::string out = testing::internal::GetCapturedStdout();
    size_t refused = 0;
    for (size_t at = out.find("camera many: a camera holds at most 64 keys"); at != std::string::npos;
         at = out.find("camera many", at + 1))
        ++refused;
    EXPECT_EQ(refused, 36u);
    EXPECT_EQ(c.keyCount, 64);
    EXPECT_EQ(c.duration, 630.0f);
    c.advance(10000);
    EXPECT_FLOAT_EQ(c.pos[0], 63.0f);
}

TEST(Camera, LoopModesWrapAndReflectAndThePathFollows)
{
    cCamera wrap;
    threeKeys(wrap);
    wrap.setLoopMode(1);
    wrap.setLoopStart(50);
    wrap.setLoopEnd(150);
    wrap.advance(140);
    wrap.advance(20);
    EXPECT_FLOAT_EQ(wrap.time, 60.0f);
    wrap.setDirection(-1);
    wrap.setSpeed(2);
    wrap.advance(10);
    EXPECT_FLOAT_EQ(wrap.time, 140.0f);

    cCamera pong;
    threeKeys(pong);
    pong.setLoopMode(2);
    pong.setLoopStart(50);
    pong.setLoopEnd(150);
    testing::internal::CaptureStdout();
    pong.advance(152);
    EXPECT_EQ(pong.direction, -1.0f);
    EXPECT_FLOAT_EQ(pong.time, 148.0f);
    pong.advance(100);
    EXPECT_EQ(pong.direction, 1.0f);
    EXPECT_FLOAT_EQ(pong.time, 52.0f);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "148.000000\n52.000000\n");

    // After the clock jumps back the camera is on its path again, not held
    // on the later segment it had reached.
    cCamera back;
    threeKeys(back);
    back.setLoopMode(1);
    back.setLoopEnd(200);
    back.advance(190);
    back.advance(20); // 210 wraps to 10
    EXPECT_EQ(back.currentKey, 0);
    EXPECT_LT(back.pos[0], 0.05f);
    back.setLoopMode(7); // acts as none
    back.advance(190);
    back.setDirection(-1);
    back.advance(150); // running backward to clock 50
    EXPECT_NEAR(back.pos[0], kXAt50, 1e-5);
}

TEST(Camera, KochanekBartelsTensionAndContinuity)
{
    using camera_math::kochanekBartels;
    // P = 0, 1, 3, 6 at u = 0.25: h00 = 0.84375, h10 = 0.140625,
    // h11 = -0.046875, h01 = 0.15625.
    EXPECT_FLOAT_EQ(kochanekBartels(0, 1, 3, 6, 0.25f, 0, 0), 1.40625f);  // m 1.5, 2.5 (Catmull-Rom)
    EXPECT_FLOAT_EQ(kochanekBartels(0, 1, 3, 6, 0.25f, 0, 1), 1.359375f); // m 1, 2
    EXPECT_FLOAT_EQ(kochanekBartels(0, 1, 3, 6, 0.25f, 1, 0), 1.3125f);   // no tangents
}

TEST(Camera, ViewMatrixIsTheInverseOfTranslateRotateZYX)
{
    cCamera c;
    c.setPos(1, -2, 3);
    c.setRot(30, 45, 60);
    const float* view = c.getViewMatrix();

    // World = T * Rz * Ry * Rx, from elementary rotations (column-major).
    auto rotation = [](int axis, float degrees) {
        std::vector<float> m(16, 0.0f);
        for (int i = 0; i < 4; ++i) m[size_t(i * 5)] = 1;
        const float a = degrees * 3.14159265f / 180.0f;
        const int i = (axis + 1) % 3, j = (axis + 2) % 3; // the plane turned
        m[size_t(i * 5)] = m[size_t(j * 5)] = std::cos(a);
        m[size_t(i * 4 + j)] = std::sin(a);
        m[size_t(j * 4 + i)] = -std::sin(a);
        return m;
    };
    auto multiply = [](const std::vector<float>& a, const std::vector<float>& b) {
        std::vector<float> out(16, 0.0f);
        for (int col = 0; col < 4; ++col)
            for (int row = 0; row < 4; ++row)
                for (int k = 0; k < 4; ++k)
                    out[size_t(col * 4 + row)] += a[size_t(k * 4 + row)] * b[size_t(col * 4 + k)];
        return out;
    };
    std::vector<float> world = multiply(rotation(2, 60), multiply(rotation(1, 45), rotation(0, 30)));
    world[12] = 1;
    world[13] = -2;
    world[14] = 3;
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(c.worldMatrix[i], world[size_t(i)], 1e-5) << i;

    // The inverse of a rotation and translation: transposed rotation, the
    // position turned back.
    for (int row = 0; row < 3; ++row) {
        float back = 0;
        for (int col = 0; col < 3; ++col) {
            EXPECT_NEAR(view[col * 4 + row], world[size_t(row * 4 + col)], 1e-5);
            back -= world[size_t(row * 4 + col)] * world[size_t(12 + col)];
        }
        EXPECT_NEAR(view[12 + row], back, 1e-5) << row;
    }
    EXPECT_NEAR(view[15], 1.0f, 1e-6);
}

TEST(Camera, ViewportPixelsAndFloatListsStayInRange)
{
    cCamera c;
    int vp[4];
    c.setViewport(0.5f, 0.25f, 0.3333f, 0.5f);
    c.getViewportPixels(160, 120, vp);
    EXPECT_EQ(vp[0], 80);
    EXPECT_EQ(vp[1], 30);
    EXPECT_EQ(vp[2], 53); // 53.328 truncated
    c.setViewport(-1e30f, 1e30f, std::nanf(""), 0.999f);
    c.getViewportPixels(160, 120, vp);
    EXPECT_EQ(vp[0], INT_MIN);
    EXPECT_EQ(vp[1], INT_MAX);
    EXPECT_EQ(vp[2], 0);
    EXPECT_EQ(vp[3], 119);

    float v[3] = {7, 8, 9};
    EXPECT_EQ(scanFloats("1.5, 2", v, 3), 2);
    EXPECT_EQ(v[1], 2.0f);
    EXPECT_EQ(v[2], 9.0f);
    EXPECT_EQ(scanFloats("4 ,5", v, 3), 1); // the comma must follow the number
    EXPECT_EQ(v[1], 2.0f);
    EXPECT_EQ(scanFloats("inf,1", v, 3), 0);
    EXPECT_EQ(scanFloats(nullptr, v, 3), 0);
}

} // namespace
