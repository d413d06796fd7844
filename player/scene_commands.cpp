#include "player/scene_commands.h"

#include "common/scene/camera.h"
#include "common/scene/named_texture.h"
#include "common/scene/scene_registry.h"
#include "common/scene/surface.h"
#include "common/script/xml_tag.h"

#include <algorithm>
#include <cstdio>
#include <strings.h>

namespace {

bool equalsIgnoringCase(const char* text, const char* word) { return text && strcasecmp(text, word) == 0; }

// Applies every attribute of a camera element, in document order.
void configureCamera(cCamera& camera, const cXmlTag* element)
{
    for (const cXmlParam* p : element->params()) {
        const char* n = p->name;
        const char* v = p->value;
        if (strcasecmp(n, "viewport") == 0) {
            float vp[4] = {camera.viewport[0], camera.viewport[1], camera.viewport[2], camera.viewport[3]};
            scanFloats(v, vp, 4);
            camera.setViewport(vp[0], vp[1], vp[2], vp[3]);
        } else if (strcasecmp(n, "pos") == 0) {
            float x[3] = {camera.pos[0], camera.pos[1], camera.pos[2]};
            scanFloats(v, x, 3);
            camera.setPos(x[0], x[1], x[2]);
        } else if (strcasecmp(n, "rot") == 0) {
            float x[3] = {camera.rot[0], camera.rot[1], camera.rot[2]};
            scanFloats(v, x, 3);
            camera.setRot(x[0], x[1], x[2]);
        } else if (strcasecmp(n, "lookat") == 0) {
            float x[3] = {camera.lookat[0], camera.lookat[1], camera.lookat[2]};
            scanFloats(v, x, 3);
            camera.setLookat(x[0], x[1], x[2]);
        } else if (strcasecmp(n, "fov") == 0) {
            camera.setFov(cXmlTag::toFloat(v));
        } else if (strcasecmp(n, "znear") == 0) {
            camera.setZnear(cXmlTag::toFloat(v));
        } else if (strcasecmp(n, "zfar") == 0) {
            camera.setZfar(cXmlTag::toFloat(v));
        } else if (strcasecmp(n, "speed") == 0) {
            camera.setSpeed(cXmlTag::toFloat(v));
        } else if (strcasecmp(n, "loopstart") == 0) {
            camera.setLoopStart(cXmlTag::toFloat(v));
        } else if (strcasecmp(n, "loopend") == 0) {
            camera.setLoopEnd(cXmlTag::toFloat(v));
        } else if (strcasecmp(n, "loopmode") == 0) {
            camera.setLoopMode(cXmlTag::toInt(v));
        } else if (strcasecmp(n, "frame") == 0) {
            camera.setFrame(cXmlTag::toFloat(v));
        } else if (strcasecmp(n, "direction") == 0) {
            camera.setDirection(cXmlTag::toFloat(v));
        }
    }
}

// True when a fragment runs again and the registry already holds an object
// of the name: the create then keeps that one.
template <class T> bool keepsExisting(const sSceneRerun* rerun, const cOwnedArray<T>& objects, const char* name)
{
    if (!rerun || !rerun->again) return false;
    for (int i = 0; i < objects.count; ++i)
        if (cSceneRegistry::nameMatches(objects[i]->name, name)) return true;
    return false;
}

} // namespace

bool sSceneRerun::addsKeys(const cXmlTag* keyframe)
{
    if (std::find(keyed_.begin(), keyed_.end(), keyframe) != keyed_.end()) return !again;
    keyed_.push_back(keyframe);
    return true;
}

int cameraCommand(cSceneRegistry& registry, const cXmlTag* element, sSceneRerun* rerun)
{
    const char* mode = element->getString("mode");
    const char* name = element->getString("name");
    if (!name) return 0;
    if (equalsIgnoringCase(mode, "create")) {
        if (!keepsExisting(rerun, registry.cameras, name) && !registry.createCamera(name)) return -1;
    } else if (equalsIgnoringCase(mode, "keyframe")) {
        cCamera* camera = registry.findCamera(name);
        if (!camera) return -1;
        if (!rerun || rerun->addsKeys(element))
            for (const cXmlTag* child : element->children())
                if (child->nameIs("key")) camera->addKey(child);
    }
    // Whatever the mode, the element's attributes configure the first
    // camera of the name.
    cCamera* camera = registry.findCamera(name);
    if (!camera) return -1;
    configureCamera(*camera, element);
    return 0;
}

int surfaceCommand(cSceneRegistry& registry, const cXmlTag* element, const sSceneRerun* rerun)
{
    if (!equalsIgnoringCase(element->getString("mode"), "create")) return 0;
    std::printf("makey\n");
    const char* name = element->getString("name");
    const int width = element->getInt("width");
    const int height = element->getInt("height");
    // The size only decides whether the surface is made; it is not kept.
    if (width > 0 && height > 0 && name && !keepsExisting(rerun, registry.surfaces, name)) {
        if (!registry.createSurface(name)) return -1;
        std::printf("createy\n");
    }
    return 0;
}

int textureCommand(cSceneRegistry& registry, const cXmlTag* element, const sSceneRerun* rerun)
{
    const char* mode = element->getString("mode");
    if (equalsIgnoringCase(mode, "load")) {
        // Known by its file name; the name attribute plays no part.
        if (const char* fileName = element->getString("filename"))
            if (!registry.loadTexture(fileName)) return -1;
    } else if (equalsIgnoringCase(mode, "create")) {
        const int width = element->getInt("width");
        const int height = element->getInt("height");
        const int bpp = element->getInt("bpp");
        const char* name = element->getString("name");
        if (width > 0 && height > 0 && (bpp == 24 || bpp == 32) && !keepsExisting(rerun, registry.textures, name))
            if (!registry.createTexture(width, height, bpp, name)) return -1;
    }
    return 0;
}
