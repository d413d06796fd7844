// A small block of fixed-function GL states that the script sets for one
// effect through its gl element; applied right before the effect draws.
#pragma once

class cXmlTag;

class cRenderState {
public:
    cRenderState() = default;
    virtual ~cRenderState() = default;

    virtual void apply();
    virtual int doXML(cXmlTag* glElement);

    // GL blend factor of a script code 0..9; any other code gives GL_ONE.
    static unsigned blendFactor(int code);

    bool restore = true;

    bool renderActive = false;
    bool wire = false;
    bool flat = false;
    float lineWidth = 1.0f;
    bool envmap = false;
    float color[4] = {1, 1, 1, 1};

    bool depthActive = false;
    bool depthTest = true;
    bool depthWrite = true;

    bool cullActive = false;
    bool cullEnable = true;
    int cullMode = 0;

    bool alphaActive = false;
    bool blend = false;
    unsigned blendSrc = 1; // GL_ONE
    unsigned blendDst = 1;
    bool alphaTest = false;
    float alphaRef = 0.5f;

    bool projActive = false;
    float fov = 0.785375f;
    float zNear = 0.1f;
    float zFar = 400.0f;

    bool fogActive = false;
    bool fogOn = false;
    int fogMode = 0; // 1 exp, 2 exp2, anything else linear
    float fogDensity = 0.5f;
    float fogStart = 0.0f;
    float fogEnd = 1.0f;
    float fogColor[3] = {1, 0, 0};

private:
    void readRender(cXmlTag* e);
    void readDepth(cXmlTag* e);
    void readCull(cXmlTag* e);
    void readAlpha(cXmlTag* e);
    void readProj(cXmlTag* e);
    void readFog(cXmlTag* e);
};
