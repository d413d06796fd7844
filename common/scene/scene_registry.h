// The demo's scene registry: its surfaces, textures and cameras by name.
//
// One registry per demo, owned by the player. Effects in separately loaded
// libraries get a pointer to it and call the same operations, compiled into
// them from this source, so the layout below is shared by every deliverable.
//
// Names are at most 31 characters and compare ignoring case; a longer name
// is cut to 31 characters, both where it is stored and where it is looked
// up, so the cut name always finds its entry. Lookups find the first entry
// of a name.
#pragma once

class cCamera;
class cMediaShelf;
class cNamedTexture;
class cSurface;

// A growable array of owning pointers, in the order they were appended.
template <class T> struct cOwnedArray {
    T** items = nullptr;
    int count = 0;
    int capacity = 0;

    // False (and the item not taken) when storage runs out.
    bool append(T* item);
    // Deletes every item through its virtual destructor; keeps the storage.
    void deleteAll();
    // Frees the storage (after deleteAll).
    void release();
    T* operator[](int i) const { return items[i]; }
};

// Where registry objects are constructed. Objects live until the player
// clears the registry, which happens after the effect libraries are
// unloaded, so they must not be made by library code: their virtual
// destructors would then lie in code that is gone. The registry's
// constructor, which runs in the player, fills this in with the player's own
// constructors, and every create operation goes through it, whichever
// deliverable calls it.
struct sSceneMakers {
    cSurface* (*newSurface)();
    cNamedTexture* (*newNamedTexture)();
    cCamera* (*newCamera)();
};

class cSceneRegistry {
public:
    enum : int { kNameMax = 31 };

    cSceneRegistry();
    ~cSceneRegistry(); // clear, then frees the arrays

    cSceneRegistry(const cSceneRegistry&) = delete;
    cSceneRegistry& operator=(const cSceneRegistry&) = delete;

    // Deletes every texture, then every camera, then every surface, and
    // empties the arrays. Textures loaded from files go on an open shelf.
    void clear();

    // Cameras
    // Always a new camera with default fields; null when storage runs out.
    cCamera* createCamera(const char* name);
    // The first camera of this name, or a new one when there is none.
    cCamera* findCamera(const char* name);
    // advance(dt) on every camera in creation order.
    void advanceCameras(float dt);

    // Surfaces
    cSurface* createSurface(const char* name);
    cSurface* findSurface(const char* name);

    // Textures
    // A new entry with a GL texture of this size and depth; the entry is
    // kept (without a GL texture) when the size is refused. Null only when
    // storage runs out.
    cNamedTexture* createTexture(int width, int height, int bitsPerPixel, const char* name);
    // The entry named by the file, loading the file the first time; a file
    // that cannot be read or decoded gives a blank 8 x 8 24-bit texture
    // under its name, which later requests get too.
    cNamedTexture* loadTexture(const char* fileName);
    // The first texture of this name, or null.
    cNamedTexture* findTexture(const char* name) const;
    // The player's show clock, in seconds, once a frame: every texture
    // loaded from an animated GIF shows the frame of this time, and
    // effects with animated pictures read it from showSeconds.
    void setShowTime(float seconds);

    int surfaceCount() const { return surfaces.count; }
    int textureCount() const { return textures.count; }
    int cameraCount() const { return cameras.count; }

    // Copies a name into a 32-byte name field, cut to 31 characters (with a
    // console line saying so); null copies as empty. True when it was cut.
    static bool copyName(char* field, const char* name);
    // True when the stored name equals the wanted one, cut like copyName
    // cuts, ignoring case.
    static bool nameMatches(const char* stored, const char* wanted);

    cOwnedArray<cSurface> surfaces;
    cOwnedArray<cNamedTexture> textures;
    cOwnedArray<cCamera> cameras;
    const sSceneMakers* makers;
    float showSeconds = 0;
    // Writes one line into the player's log (log.txt). The player sets it;
    // it stays null elsewhere, where effects report on the console only.
    void (*logLine)(const char* text) = nullptr;
    // Media kept over a reload of the show, or null: while it is open,
    // clear() puts the textures loaded from files on it, and loadTexture
    // takes them back (see cMediaShelf).
    cMediaShelf* shelf = nullptr;
};
