#include "common/scene/scene_registry.h"

#include "common/media/format_gif.h"
#include "common/media/gif_animation.h"
#include "common/media/image_format.h"
#include "common/media/media_shelf.h"
#include "common/media/stream.h"
#include "common/scene/camera.h"
#include "common/scene/named_texture.h"
#include "common/scene/surface.h"
#include "common/script/cut_name.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

template <class T> bool cOwnedArray<T>::append(T* item)
{
    if (count == capacity) {
        if (capacity > INT_MAX / 2) return false;
        const int grown = capacity ? capacity * 2 : 8;
        void* more = std::realloc(static_cast<void*>(items), sizeof(T*) * static_cast<size_t>(grown));
        if (!more) return false;
        items = static_cast<T**>(more);
        capacity = grown;
    }
    items[count++] = item;
    return true;
}

template <class T> void cOwnedArray<T>::deleteAll()
{
    for (int i = 0; i < count; ++i) {
        delete items[i];
        items[i] = nullptr;
    }
    count = 0;
}

template <class T> void cOwnedArray<T>::release()
{
    std::free(static_cast<void*>(items));
    items = nullptr;
    count = capacity = 0;
}

template struct cOwnedArray<cSurface>;
template struct cOwnedArray<cNamedTexture>;
template struct cOwnedArray<cCamera>;

namespace {

cSurface* newSurface() { return new (std::nothrow) cSurface(); }
cNamedTexture* newNamedTexture() { return new (std::nothrow) cNamedTexture(); }
cCamera* newCamera() { return new (std::nothrow) cCamera(); }

const sSceneMakers kMakers = {&newSurface, &newNamedTexture, &newCamera};

// Appends or, when there is no room, deletes the object and gives null.
template <class T> T* keep(cOwnedArray<T>& array, T* object)
{
    if (object && !array.append(object)) {
        delete object;
        return nullptr;
    }
    return object;
}

} // namespace

cSceneRegistry::cSceneRegistry() : makers(&kMakers) { }

cSceneRegistry::~cSceneRegistry()
{
    clear();
    surfaces.release();
    textures.release();
    cameras.release();
}

namespace {
void releaseNamedTexture(void* texture) { delete static_cast<cNamedTexture*>(texture); }
} // namespace

void cSceneRegistry::clear()
{
    for (int i = 0; shelf && i < textures.count; ++i) {
        cNamedTexture* t = textures[i];
        if (t->fromFile && shelf->put("texture", t->name, t, &releaseNamedTexture)) textures.items[i] = nullptr;
    }
    textures.deleteAll();
    cameras.deleteAll();
    surfaces.deleteAll();
}

bool cSceneRegistry::copyName(char* field, const char* name)
{
    if (!name) name = "";
    const size_t length = std::strlen(name);
    const size_t kept = length > size_t(kNameMax) ? size_t(kNameMax) : length;
    std::memcpy(field, name, kept);
    std::memset(field + kept, 0, size_t(kNameMax) + 1 - kept);
    if (kept < length) {
        std::printf("name cut to %d characters: %s\n", int(kNameMax), field);
        return true;
    }
    return false;
}

bool cSceneRegistry::nameMatches(const char* stored, const char* wanted)
{
    return cutNameMatches(stored, wanted, size_t(kNameMax));
}

// ---- Cameras ----------------------------------------------------------------

cCamera* cSceneRegistry::createCamera(const char* name)
{
    cCamera* camera = makers->newCamera();
    if (!camera) return nullptr;
    copyName(camera->name, name);
    return keep(cameras, camera);
}

cCamera* cSceneRegistry::findCamera(const char* name)
{
    for (int i = 0; i < cameras.count; ++i)
        if (nameMatches(cameras[i]->name, name)) return cameras[i];
    return createCamera(name);
}

void cSceneRegistry::advanceCameras(float dt)
{
    for (int i = 0; i < cameras.count; ++i) cameras[i]->advance(dt);
}

// ---- Surfaces ---------------------------------------------------------------

cSurface* cSceneRegistry::createSurface(const char* name)
{
    cSurface* surface = makers->newSurface();
    if (!surface) return nullptr;
    copyName(surface->name, name);
    return keep(surfaces, surface);
}

cSurface* cSceneRegistry::findSurface(const char* name)
{
    for (int i = 0; i < surfaces.count; ++i)
        if (nameMatches(surfaces[i]->name, name)) return surfaces[i];
    return createSurface(name);
}

// ---- Textures ---------------------------------------------------------------

cNamedTexture* cSceneRegistry::createTexture(int width, int height, int bitsPerPixel, const char* name)
{
    cNamedTexture* entry = makers->newNamedTexture();
    if (!entry) return nullptr;
    copyName(entry->name, name);
    entry->texture.create(width, height, bitsPerPixel);
    return keep(textures, entry);
}

cNamedTexture* cSceneRegistry::findTexture(const char* name) const
{
    for (int i = 0; i < textures.count; ++i)
        if (nameMatches(textures[i]->name, name)) return textures[i];
    return nullptr;
}

cNamedTexture* cSceneRegistry::loadTexture(const char* fileName)
{
    if (!fileName) fileName = "";
    if (cNamedTexture* known = findTexture(fileName)) return known;
    if (shelf)
        if (void* kept = shelf->take("texture", fileName)) return keep(textures, static_cast<cNamedTexture*>(kept));

    // An empty name is no file; it gets the blank texture without a look
    // at the disk.
    cFormat* image = nullptr;
    if (fileName[0]) {
        cMemoryStream file(fileName);
        image = loadImage(&file);
    }
    if (!image) return createTexture(8, 8, 24, fileName);

    cNamedTexture* entry = makers->newNamedTexture();
    if (entry) {
        copyName(entry->name, fileName);
        if (entry->texture.create(image->width(), image->height(), image->bitsPerPixel()) == 0 && image->pixels()) {
            entry->texture.update(image->pixels());
            // Known by the whole file name, it can be kept over a reload.
            entry->fromFile = std::strlen(fileName) <= size_t(kNameMax);
            // A GIF of several frames keeps them, to follow the show clock.
            cFormatGIF* gif = dynamic_cast<cFormatGIF*>(image);
            if (gif && gif->frameCount() > 1) entry->animation = gif->takeAnimation();
        }
    }
    delete image;
    return keep(textures, entry);
}

void cSceneRegistry::setShowTime(float seconds)
{
    showSeconds = seconds;
    for (int i = 0; i < textures.count; ++i) {
        cNamedTexture* t = textures[i];
        cGIFAnimation* a = t->animation;
        if (!a) continue;
        const int frame = a->frameAt(seconds);
        if (frame != a->composedFrame()) t->texture.update(a->compose(frame));
    }
}
