// The effect interface shared by the player and every plug-in library: the
// base class whose virtual operations and leading fields the player relies
// on, the parameter description an effect may publish, and the two exports
// every plug-in library provides.
#pragma once

class cRenderState;
class cSceneRegistry;
class cXmlTag;

// One entry of an effect's parameter description.
struct cParam {
    unsigned type; // 0 texture, 1 camera, 2 vec4f, 3 vec3f, 4 integer, 5 boolean, 6 float
    const char* name;
};

struct cParamList {
    const char* name;
    unsigned count;
    cParam** params;
};

// The word printed for a parameter type code.
const char* paramTypeWord(unsigned type);

class cEffect {
public:
    cEffect();
    virtual ~cEffect();

    cEffect(const cEffect&) = delete;
    cEffect& operator=(const cEffect&) = delete;

    virtual int load() { return 0; }
    virtual int unload() { return 0; }
    virtual void update(float step) = 0;
    virtual void draw() { }
    // Reads active, speed and the gl children; derived classes call it first.
    virtual int doXML(cXmlTag* element);
    virtual int resize(int newWidth, int newHeight);
    virtual cParamList* getParams() { return nullptr; }

    cRenderState* renderState;
    float speed = 1.0f;
    char name[16] = {};
    char type[16] = {};
    bool active = true;
    float width = 0;
    float height = 0;
    cSceneRegistry* registry = nullptr;

    // Copies at most 15 characters into name or type.
    void setName(const char* text);
    void setType(const char* text);
};

// Reads a colour written as one hexadecimal number 0xAARRGGBB into r, g, b, a
// (each byte / 255).
void readHexColour(const char* text, float rgba[4]);

// The two exports of a plug-in library, looked up by these names.
extern "C" {
typedef bool (*HasFxFunction)(const char* typeName);
typedef cEffect* (*GetFxFunction)(const char* typeName);
}

#if defined(_WIN32)
#define KX_PLUGIN_EXPORT extern "C" __declspec(dllexport)
#else
#define KX_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif
