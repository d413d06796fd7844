// kestrelux: reads a script and plays every demo in it.
#include "player/log.h"
#include "player/script_reader.h"

#include <cstdio>
#include <cstring>

namespace {

// The script file name; the first argument replaces the default.
char gScriptPath[256] = "script.txt";

// The demos of the document, in order (the demo builder plays them).
int buildDemos(cXmlTag* root)
{
    for (cXmlTag* child : root->children()) {
        if (!child->nameIs("demo"))
            continue;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    bool pathTooLong = false;
    if (argc > 1) {
        if (std::strlen(argv[1]) < sizeof gScriptPath)
            std::snprintf(gScriptPath, sizeof gScriptPath, "%s", argv[1]);
        else
            pathTooLong = true;
    }

    std::printf("kestrelux (Build: %s %s)\n", __TIME__, __DATE__);
    std::printf("kestrelux demo player, by the kestrelux developers\n\n");
    std::fflush(stdout);

    cLog* log = cLog::get();
    log->setFileName("log.txt");
    log->setOutput(cLog::outputFile);
    log->setEnabled(true);

    if (pathTooLong) {
        log->logf("Error: script path longer than %u characters", unsigned(sizeof gScriptPath - 1));
        return 0;
    }

    log->logf("Parsing Script [%s]", gScriptPath);
    cXmlTag root;
    if (loadFile(&root, gScriptPath) == 0) {
        log->logf("done.");
        buildDemos(&root);
    } else {
        log->write(0, lastError());
    }
    return 0;
}
