#include "common/format_gif.h"

// GIF decoding is not built in yet: every file is refused, so the chain
// ends here with no image.
int cFormatGIF::load(cStream*)
{
    return -1;
}
