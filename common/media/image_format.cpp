#include "common/media/image_format.h"

#include "common/media/format_gif.h"
#include "common/media/format_jpeg.h"
#include "common/media/format_tga.h"
#include "common/media/stream.h"

#include <new>

namespace {

template <class T> cFormat* make() { return new (std::nothrow) T(); }

// The order in which formats are tried on a file's content.
cFormat* (*const kFormats[])() = {&make<cFormatTGA>, &make<cFormatJPEG>, &make<cFormatGIF>};

} // namespace

cFormat* loadImage(cStream* stream)
{
    if (!stream) return nullptr;
    for (cFormat* (*makeFormat)() : kFormats) {
        cFormat* format = makeFormat();
        if (!format) continue;
        stream->seek(0, 0);
        if (format->load(stream) == 0) return format;
        delete format;
    }
    return nullptr;
}
