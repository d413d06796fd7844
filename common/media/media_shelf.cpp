#include "common/media/media_shelf.h"

#include "common/media/stream.h"

#include <cstdio>
#include <cstring>

bool cMediaShelf::put(const char* kind, const char* name, void* item, Release release)
{
    if (!open || !item || !release || !kind || !name || !name[0] || count_ >= kMaxItems) return false;
    sItem& slot = items_[count_];
    if (!locateDataFile(name, slot.path, sizeof slot.path)) return false;
    std::snprintf(slot.kind, sizeof slot.kind, "%s", kind);
    slot.item = item;
    slot.release = release;
    ++count_;
    return true;
}

void* cMediaShelf::take(const char* kind, const char* name)
{
    if (count_ == 0 || !kind || !name || !name[0]) return nullptr;
    char path[kPathSize];
    if (!locateDataFile(name, path, sizeof path)) return nullptr;
    for (int i = 0; i < count_; ++i) {
        if (std::strncmp(items_[i].kind, kind, kKindSize - 1) != 0 || std::strcmp(items_[i].path, path) != 0) continue;
        void* item = items_[i].item;
        items_[i] = items_[--count_];
        return item;
    }
    return nullptr;
}

void cMediaShelf::discardPath(const char* path)
{
    for (int i = 0; i < count_;) {
        if (std::strcmp(items_[i].path, path) != 0) {
            ++i;
            continue;
        }
        sItem gone = items_[i];
        items_[i] = items_[--count_];
        gone.release(gone.item);
    }
}

void cMediaShelf::afterRebuild(Settle settle, void* user)
{
    if (settle && settleCount_ < kMaxSettles) settles_[settleCount_++] = {settle, user};
}

void cMediaShelf::settle()
{
    for (int i = 0; i < settleCount_; ++i) settles_[i].settle(settles_[i].user);
    settleCount_ = 0;
    releaseAll();
}

void cMediaShelf::releaseAll()
{
    settleCount_ = 0;
    while (count_ > 0) {
        sItem gone = items_[--count_];
        gone.release(gone.item);
    }
}
