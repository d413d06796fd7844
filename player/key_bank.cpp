// Key banks, live triggers and the key log.
#include "player/demo.h"

#include "common/script/xml_tag.h"
#include "player/log.h"

#include <cstdio>
#include <strings.h>

void cDemo::writeKeyLog(int code)
{
    // A quote or '>' as the trigger character would break the record when
    // it is pasted back into a script.
    if (code == '"' || code == '>') {
        cLog::get()->logf("keylog: key %d cannot be written as a trigger, not recorded", code);
        return;
    }
    std::FILE* f = std::fopen("keylog.txt", "a");
    if (!f)
        return;
    std::fprintf(f, "\t<event time=\"%.1f\" bank=\"%u\" trigger=\"%c\">\n\t</event>\n", frameTime,
                 static_cast<unsigned>(bank), code);
    std::fclose(f);
}

void cDemo::key(int code, bool down)
{
    if (down && code != 0) {
        writeKeyLog(code);
        // Index loop: a fragment may append events while we walk.
        for (int i = 0; i < eventCount; ++i) {
            cEvent* e = events[i];
            if (e->trigger == code && (e->bank == bank || e->bank == -1))
                doXML(e->fragment);
        }
    }
    cDemoWindow::key(code, down);
}

void cDemo::keybank(cXmlTag* tag)
{
    // Wide arithmetic, so huge values clamp instead of overflowing.
    long long b = bank;
    for (const cXmlParam* p : tag->params()) {
        if (strcasecmp(p->name, "set") == 0) b = cXmlTag::toInt(p->value);
        else if (strcasecmp(p->name, "inc") == 0) b += cXmlTag::toInt(p->value);
        else if (strcasecmp(p->name, "dec") == 0) b -= cXmlTag::toInt(p->value);
    }
    if (b > 10) b = 10;
    if (b < 0) b = 0;
    bank = static_cast<int>(b);
}
