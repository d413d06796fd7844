// A named viewpoint that effects draw through, optionally running along a
// smooth path through up to 64 keys on its own clock.
//
// The player and the effect libraries read and write the same camera objects,
// so the field order below is shared by every deliverable; do not reorder.
#pragma once

#include <cstdint>

class cXmlTag;

// One key of a camera path: t, pos (3), rot (3), lookat (3), viewport (4), fov.
struct cCameraKey {
    float t;
    float pos[3];
    float rot[3];
    float lookat[3];
    float viewport[4];
    float fov;
};

class cCamera {
public:
    enum : int { kMaxKeys = 64, kNameSize = 32 };

    cCamera();
    virtual ~cCamera();

    cCamera(const cCamera&) = delete;
    cCamera& operator=(const cCamera&) = delete;

    void setFov(float v) { fov = v; }
    void setZnear(float v) { znear = v; }
    void setZfar(float v) { zfar = v; }
    void setSpeed(float v) { speed = v; }
    void setFrame(float v) { frame = v; }
    void setDirection(float v) { direction = v; }
    void setLoopMode(int v) { loopMode = v; }
    void setLoopStart(float v) { loopStart = v; }
    void setLoopEnd(float v) { loopEnd = v; }
    void setPos(float x, float y, float z);
    void setRot(float x, float y, float z);
    void setLookat(float x, float y, float z);
    void setViewport(float x, float y, float w, float h);

    // Appends one key from a key element. A full table refuses the key with
    // a console line and returns false.
    bool addKey(const cXmlTag* element);
    // Moves the camera clock by dt and the camera along its keys.
    void advance(float dt);
    // The inverse of the camera-to-world transform, recomputed on every call.
    const float* getViewMatrix();
    const float* getViewport() const { return viewport; }
    // The viewport in pixels of a width x height window: x, y, w, h, each
    // product truncated (and held within the int range).
    void getViewportPixels(float windowWidth, float windowHeight, int out[4]) const;

    char name[kNameSize];
    float worldMatrix[16];
    float viewMatrix[16];
    float fov;
    float znear;
    float zfar;
    float pos[3];
    float rot[3];
    float lookat[3];
    float viewport[4];
    float direction;
    float time;
    int32_t loopMode; // 0 none, 1 wrap, 2 ping-pong; others act as 0
    float loopStart;
    float loopEnd;
    float duration; // the largest explicit key time seen
    float frame;    // the eased key time of the last advance
    float speed;
    int32_t currentKey;
    int32_t keyCount;
    cCameraKey keys[kMaxKeys];
};

// Path maths, public so it can be checked on its own.
namespace camera_math {
// The quintic smootherstep scaled to the duration: d * s^3 (6s^2 - 15s + 10),
// s = time / d, not clamped.
float ease(float time, float duration);
// Cubic Hermite between p1 and p2 with tangents m1 and m2.
float hermite(float p1, float m1, float m2, float p2, float u);
// Catmull-Rom through p1 and p2, neighbours p0 and p3.
float catmullRom(float p0, float p1, float p2, float p3, float u);
// Kochanek-Bartels with tension and continuity, bias 0.
float kochanekBartels(float p0, float p1, float p2, float p3, float u, float tension, float continuity);
// The general inverse of a column-major 4 x 4 matrix by cofactors. Returns
// false (and leaves out untouched) when the determinant is 0.
bool invert(const float m[16], float out[16]);
} // namespace camera_math

// Reads up to count comma-separated floats ("%f,%f,..."); components the
// text does not give keep their values. Returns the number read.
int scanFloats(const char* text, float* out, int count);
