// The script commands that fill a demo's scene registry: camera, surface
// and texture elements. Each returns 0, or -1 when storage ran out.
#pragma once

#include <vector>

class cSceneRegistry;
class cXmlTag;

// Running an event's fragment again (when the show is scrubbed) must leave
// the scene as running it once did. The demo keeps one of these and passes
// it to the scene commands.
struct sSceneRerun {
    // Set while a fragment that has run before runs again. A create then
    // keeps an object of the name that already exists instead of adding a
    // second one.
    bool again = false;

    // A keyframe element adds its keys; run again it adds none. Remembers
    // every element that has added keys, and says whether this one adds.
    bool addsKeys(const cXmlTag* keyframe);

private:
    std::vector<const cXmlTag*> keyed_;
};

int cameraCommand(cSceneRegistry& registry, const cXmlTag* element, sSceneRerun* rerun = nullptr);
int surfaceCommand(cSceneRegistry& registry, const cXmlTag* element, const sSceneRerun* rerun = nullptr);
int textureCommand(cSceneRegistry& registry, const cXmlTag* element, const sSceneRerun* rerun = nullptr);
