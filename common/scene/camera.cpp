#include "common/scene/camera.h"

#include "common/script/xml_tag.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace camera_math {

float ease(float time, float duration)
{
    const float s = time / duration;
    return duration * s * s * s * (s * (6.0f * s - 15.0f) + 10.0f);
}

float hermite(float p1, float m1, float m2, float p2, float u)
{
    const float u2 = u * u;
    const float u3 = u2 * u;
    return (2.0f * u3 - 3.0f * u2 + 1.0f) * p1 + (u3 - 2.0f * u2 + u) * m1 + (u3 - u2) * m2 +
           (3.0f * u2 - 2.0f * u3) * p2;
}

float catmullRom(float p0, float p1, float p2, float p3, float u)
{
    const float m1 = ((p1 - p0) + (p2 - p1)) * 0.5f;
    const float m2 = ((p2 - p1) + (p3 - p2)) * 0.5f;
    return hermite(p1, m1, m2, p2, u);
}

float kochanekBartels(float p0, float p1, float p2, float p3, float u, float tension, float continuity)
{
    const float k = (1.0f - tension) * 0.5f;
    const float m1 = k * ((1.0f + continuity) * (p1 - p0) + (1.0f - continuity) * (p2 - p1));
    const float m2 = k * ((1.0f + continuity) * (p2 - p1) + (1.0f - continuity) * (p3 - p2));
    return hermite(p1, m1, m2, p2, u);
}

bool invert(const float m[16], float out[16])
{
    float inv[16];
    inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] + m[9] * m[7] * m[14] +
             m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
    inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] - m[8] * m[7] * m[14] -
             m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
    inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] + m[8] * m[7] * m[13] +
             m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
    inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] - m[8] * m[6] * m[13] -
              m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
    inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] - m[9] * m[3] * m[14] -
             m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
    inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] + m[8] * m[3] * m[14] +
             m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
    inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] - m[8] * m[3] * m[13] -
             m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
    inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] + m[8] * m[2] * m[13] +
              m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
    inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14] +
             m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
    inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] - m[4] * m[3] * m[14] -
             m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
    inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] + m[4] * m[3] * m[13] +
              m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
    inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] - m[4] * m[2] * m[13] -
              m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
    inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] - m[5] * m[3] * m[10] -
             m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
    inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10] +
             m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
    inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9] -
              m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
    inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9] + m[8] * m[1] * m[6] -
              m[8] * m[2] * m[5];

    const float det = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
    if (det == 0.0f) return false;
    const float r = 1.0f / det;
    for (int i = 0; i < 16; ++i) out[i] = inv[i] * r;
    return true;
}

} // namespace camera_math

int scanFloats(const char* text, float* out, int count)
{
    // The "%f,%f,..." form: each number may have leading blanks, the commas
    // follow the numbers directly. Values that do not fit a float end the
    // reading like text that is no number.
    if (!text) return 0;
    const char* p = text;
    int n = 0;
    while (n < count) {
        char* end = nullptr;
        const float v = std::strtof(p, &end);
        if (end == p || !std::isfinite(v)) break;
        out[n++] = v;
        if (*end != ',') break;
        p = end + 1;
    }
    return n;
}

cCamera::cCamera()
{
    std::memset(name, 0, sizeof name);
    std::memset(worldMatrix, 0, sizeof worldMatrix);
    std::memset(viewMatrix, 0, sizeof viewMatrix);
    for (int i = 0; i < 4; ++i) worldMatrix[i * 5] = viewMatrix[i * 5] = 1.0f;
    fov = 50.0f;
    znear = 0.1f;
    zfar = 400.0f;
    setPos(0, 0, 0);
    setRot(0, 0, 0);
    setLookat(0, 0, 0);
    setViewport(0, 0, 1, 1);
    direction = 1.0f;
    time = 0.0f;
    loopMode = 0;
    loopStart = 0.0f;
    loopEnd = 1000.0f;
    duration = 0.001f;
    frame = 0.0f;
    speed = 1.0f;
    currentKey = 0;
    keyCount = 0;
    std::memset(keys, 0, sizeof keys);
}

cCamera::~cCamera() = default;

void cCamera::setPos(float x, float y, float z)
{
    pos[0] = x;
    pos[1] = y;
    pos[2] = z;
}

void cCamera::setRot(float x, float y, float z)
{
    rot[0] = x;
    rot[1] = y;
    rot[2] = z;
}

void cCamera::setLookat(float x, float y, float z)
{
    lookat[0] = x;
    lookat[1] = y;
    lookat[2] = z;
}

void cCamera::setViewport(float x, float y, float w, float h)
{
    viewport[0] = x;
    viewport[1] = y;
    viewport[2] = w;
    viewport[3] = h;
}

bool cCamera::addKey(const cXmlTag* element)
{
    if (keyCount < 0 || keyCount >= kMaxKeys) {
        std::printf("camera %s: a camera holds at most %d keys, key ignored\n", name, kMaxKeys);
        return false;
    }
    cCameraKey& k = keys[keyCount];
    if (keyCount > 0) {
        // Everything the key does not give comes from the key before it.
        k = keys[keyCount - 1];
        k.t += 1.0f;
    } else {
        std::memset(&k, 0, sizeof k);
        k.viewport[2] = k.viewport[3] = 1.0f;
        k.fov = 50.0f;
    }
    if (element) {
        for (const cXmlParam* p : element->params()) {
            if (strcasecmp(p->name, "pos") == 0) {
                scanFloats(p->value, k.pos, 3);
            } else if (strcasecmp(p->name, "rot") == 0) {
                scanFloats(p->value, k.rot, 3);
            } else if (strcasecmp(p->name, "lookat") == 0) {
                scanFloats(p->value, k.lookat, 3);
            } else if (strcasecmp(p->name, "viewport") == 0) {
                scanFloats(p->value, k.viewport, 4);
            } else if (strcasecmp(p->name, "t") == 0) {
                k.t = cXmlTag::toFloat(p->value);
                if (k.t > duration) duration = k.t;
            } else if (strcasecmp(p->name, "fov") == 0) {
                k.fov = cXmlTag::toFloat(p->value);
                std::printf("## add key FOV %f\n", double(k.fov));
            }
        }
    }
    ++keyCount;
    return true;
}

void cCamera::advance(float dt)
{
    const int n = keyCount < kMaxKeys ? keyCount : kMaxKeys;
    if (n <= 0) return;

    time += speed * direction * dt;
    if (loopMode == 1) {
        if (direction > 0 && time > loopEnd)
            time = loopStart + (time - loopEnd);
        else if (direction < 0 && time < loopStart)
            time = loopEnd - (loopStart - time);
    } else if (loopMode == 2) {
        if (direction > 0 && time > loopEnd) {
            direction = -1.0f;
            time = loopEnd - (time - loopEnd);
            std::printf("%f\n", double(time));
        } else if (direction < 0 && time < loopStart) {
            direction = 1.0f;
            time = loopStart + (loopStart - time);
            std::printf("%f\n", double(time));
        }
    }

    const float e = camera_math::ease(time, duration);
    frame = e;

    // The segment: searched again once the eased time reaches the next key,
    // and also when it has gone back before the current key (a loop jumped
    // back or the camera runs backward); otherwise the camera would hold on
    // a later segment and leave its path.
    if (currentKey < 0) currentKey = 0;
    if (currentKey > n - 1) currentKey = n - 1;
    const int next = currentKey + 1 < n - 1 ? currentKey + 1 : n - 1;
    const bool wentBack = currentKey > 0 && e < keys[currentKey].t;
    if (e >= keys[next].t || wentBack) {
        // Past the last key the camera rests on it; gone back before the
        // first key it takes the first segment.
        int found = wentBack && e < keys[0].t ? 0 : n - 1;
        for (int i = 0; i + 1 < n; ++i) {
            if (keys[i].t <= e && e < keys[i + 1].t) {
                found = i;
                break;
            }
        }
        currentKey = found;
    }
    if (currentKey < 0) currentKey = 0;
    if (currentKey > n - 1) currentKey = n - 1;

    auto clampKey = [n](int i) { return i < 0 ? 0 : (i > n - 1 ? n - 1 : i); };
    const cCameraKey& k0 = keys[clampKey(currentKey - 1)];
    const cCameraKey& k1 = keys[clampKey(currentKey)];
    const cCameraKey& k2 = keys[clampKey(currentKey + 1)];
    const cCameraKey& k3 = keys[clampKey(currentKey + 2)];

    const float u = k1.t == k2.t ? 1.0f : (e - k1.t) / (k2.t - k1.t);

    for (int c = 0; c < 3; ++c) {
        pos[c] = camera_math::catmullRom(k0.pos[c], k1.pos[c], k2.pos[c], k3.pos[c], u);
        rot[c] = camera_math::catmullRom(k0.rot[c], k1.rot[c], k2.rot[c], k3.rot[c], u);
        lookat[c] = camera_math::catmullRom(k0.lookat[c], k1.lookat[c], k2.lookat[c], k3.lookat[c], u);
    }
    for (int c = 0; c < 4; ++c)
        viewport[c] =
            camera_math::kochanekBartels(k0.viewport[c], k1.viewport[c], k2.viewport[c], k3.viewport[c], u, 0, 0);
    fov = k1.fov + (k2.fov - k1.fov) * u;
}

const float* cCamera::getViewMatrix()
{
    const float deg = 0.017453292f;
    const float a = rot[0] * deg, b = rot[1] * deg, g = rot[2] * deg;
    const float sa = std::sin(a), ca = std::cos(a);
    const float sb = std::sin(b), cb = std::cos(b);
    const float sg = std::sin(g), cg = std::cos(g);

    float* m = worldMatrix;
    m[0] = cb * cg;
    m[1] = cb * sg;
    m[2] = -sb;
    m[3] = 0;
    m[4] = sa * sb * cg - ca * sg;
    m[5] = sa * sb * sg + ca * cg;
    m[6] = sa * cb;
    m[7] = 0;
    m[8] = ca * sb * cg + sa * sg;
    m[9] = ca * sb * sg - sa * cg;
    m[10] = ca * cb;
    m[11] = 0;
    m[12] = pos[0];
    m[13] = pos[1];
    m[14] = pos[2];
    m[15] = 1;

    // A rotation and translation is never singular; only values that are
    // no numbers at all could make it so, and then the last view stays.
    camera_math::invert(worldMatrix, viewMatrix);
    return viewMatrix;
}

void cCamera::getViewportPixels(float windowWidth, float windowHeight, int out[4]) const
{
    const float size[4] = {windowWidth, windowHeight, windowWidth, windowHeight};
    for (int i = 0; i < 4; ++i) {
        const double v = double(viewport[i]) * double(size[i]);
        // Truncation toward zero, kept within what a GL viewport can take.
        if (!(v == v))
            out[i] = 0;
        else if (v >= 2147483647.0)
            out[i] = 2147483647;
        else if (v <= -2147483648.0)
            out[i] = -2147483647 - 1;
        else
            out[i] = static_cast<int>(v);
    }
}
