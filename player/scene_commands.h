// The script commands that fill a demo's scene registry: camera, surface
// and texture elements. Each returns 0, or -1 when storage ran out.
#pragma once

class cSceneRegistry;
class cXmlTag;

int cameraCommand(cSceneRegistry& registry, const cXmlTag* element);
int surfaceCommand(cSceneRegistry& registry, const cXmlTag* element);
int textureCommand(cSceneRegistry& registry, const cXmlTag* element);
