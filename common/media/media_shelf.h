// Loaded media kept over a reload of the show. While the player rebuilds a
// running show from its changed script, the old show's effects and registry
// put what they loaded from data files on the shelf instead of freeing it,
// and the new show's take it back when they load the same file again: a
// picture is not decoded and uploaded again, a tune goes on playing where it
// was. The player first discards what was loaded from files that changed;
// what the new show does not take is released once it is built.
//
// The player owns the shelf and hands it to every registry it makes;
// library code reaches it through the registry. Its code is compiled into
// each deliverable from this source, so it holds plain data only. An item's
// release function and settle callback lie in the code that put it there,
// which stays loaded until the shelf is emptied.
#pragma once

class cMediaShelf {
public:
    enum : int { kMaxItems = 64, kMaxSettles = 64, kPathSize = 512, kKindSize = 16 };
    using Release = void (*)(void* item);
    using Settle = void (*)(void* user);

    cMediaShelf() = default;
    ~cMediaShelf() { releaseAll(); }
    cMediaShelf(const cMediaShelf&) = delete;
    cMediaShelf& operator=(const cMediaShelf&) = delete;

    // Set by the player while the old show is taken down; put() refuses
    // items at any other time.
    bool open = false;

    // Puts an item loaded from the data file `name`; `kind` tells items of
    // one file apart ("picture", "music", ...). An item made from no data
    // file is named by what it was made from instead, and never counts as
    // changed. False when the shelf is closed or full, or the name is
    // empty: the caller then frees the item.
    bool put(const char* kind, const char* name, void* item, Release release);
    // Takes an item of that kind loaded from that data file, or null.
    void* take(const char* kind, const char* name);
    // Releases the items loaded from a data path (the file changed).
    void discardPath(const char* path);
    // Called once the rebuilt show has caught up with its clock: lets the
    // new owners of taken items settle them (a tune that the new show did
    // not start again is stopped).
    void afterRebuild(Settle settle, void* user);
    // Runs the settle callbacks, then releases every item left.
    void settle();
    void releaseAll();

    int count() const { return count_; }

private:
    struct sItem {
        char kind[kKindSize];
        char path[kPathSize];
        void* item;
        Release release;
    };
    struct sSettle {
        Settle settle;
        void* user;
    };
    sItem items_[kMaxItems] = {};
    int count_ = 0;
    sSettle settles_[kMaxSettles] = {};
    int settleCount_ = 0;
};
