#include "player/demo.h"

#include "audio/bass.h"
#include "common/effect/effect.h"
#include "common/effect/render_state.h"
#include "common/scene/scene_registry.h"
#include "common/script/cut_name.h"
#include "common/script/xml_tag.h"
#include "platform/window_system.h"
#include "player/controllers/midi_file_cues.h"
#include "player/controllers/osc_listener.h"
#include "player/extensions.h"
#include "player/log.h"
#include "player/plugin.h"
#include "player/reload.h"
#include "player/scene_commands.h"
#include "player/script_check.h"
#include "player/show_end.h"
#include "player/stop_request.h"

#include <GL/gl.h>

#include <cstdio>
#include <strings.h>
#include <vector>

namespace {

// Event fragments can press keys whose events run further fragments; a
// script whose fragments press each other in a ring would recurse forever.
constexpr int kMaxCommandDepth = 32;
int gCommandDepth = 0;

// Window sizes beyond this cannot get a frame buffer on any machine we run on.
constexpr int kMaxWindowSide = 16384;

void readWindowSide(int& side, const char* name, int value)
{
    if (value < 1 || value > kMaxWindowSide) {
        cLog::get()->logf("Error: %s %d out of range (1..%d), keeping %d", name, value, kMaxWindowSide, side);
        return;
    }
    side = value;
}

} // namespace

cDemo::cDemo() : switchesAtStart_(gSwitches) { registry = newRegistry(); }

cDemo::~cDemo()
{
    // The effects and the GL objects they and the registry made go while
    // the context they were made in is current, before it is deleted.
    midiPorts.close();
    makeCurrent();
    releaseShow(false);
    closing_ = false;
    if (window) cGLWindow::close();
    // A quit message this demo posted but never took (an exit without run)
    // must not end the next demo's run.
    platform::pumpMessages();
}

void cDemo::close()
{
    // The caller may be walking the effects, the events or the draw order
    // (a key handler, an event fragment, the loading loop): they go when
    // it is done. Without a show there is nothing to wait for.
    if (!window) return;
    closing_ = true;
}

void cDemo::finishClose()
{
    closing_ = false;
    // Nothing more reaches the show from its ports.
    midiPorts.close();
    makeCurrent();
    // The plug-ins stay loaded for the rest of the demo element, as they
    // do for a reload; the demo's end unloads them.
    releaseShow(true);
    registry = newRegistry();
    cGLWindow::close();
    // The loop the window's quit message would end has ended already.
    platform::discardQuit();
}

cSceneRegistry* cDemo::newRegistry()
{
    cSceneRegistry* r = new cSceneRegistry();
    // Effects in the plug-in libraries report into the same log.
    r->logLine = [](const char* text) { cLog::get()->write(0, text); };
    r->shelf = &shelf_;
    return r;
}

void cDemo::releaseShow(bool keepPlugins)
{
    // Effects go before the libraries that made them, each released by
    // its own library through its virtual destructor.
    for (int i = 0; i < effectCount; ++i) {
        effects[i]->unload();
        delete effects[i];
        effects[i] = nullptr;
    }
    effectCount = 0;
    drawCount = 0;
    loader = nullptr;
    timeline.clear();
    timeline.scrubbed = false;
    midiMap.clear();
    for (int i = 0; i < pluginCount; ++i) {
        if (keepPlugins) {
            spare_[spareCount_++] = plugins[i];
        } else {
            plugins[i]->unload();
            delete plugins[i];
        }
        plugins[i] = nullptr;
    }
    pluginCount = 0;
    if (!keepPlugins) releaseSparePlugins();
    // The registry's objects were all made by the player's own code, so
    // they can go after the libraries.
    if (registry) {
        registry->clear();
        delete registry;
        registry = nullptr;
    }
}

void cDemo::releaseSparePlugins()
{
    // Plug-ins kept for a reload that the new show did not load again.
    for (int i = 0; i < spareCount_; ++i) {
        spare_[i]->unload();
        delete spare_[i];
        spare_[i] = nullptr;
    }
    spareCount_ = 0;
}

cEffect* cDemo::findEffect(const char* effectName)
{
    // add cut the instance name to fit; cut the wanted one the same way.
    for (int i = 0; i < effectCount; ++i)
        if (cutNameMatches(effects[i]->name, effectName, sizeof effects[i]->name - 1)) return effects[i];
    return nullptr;
}

int cDemo::doXML(cXmlTag* tag)
{
    cLog* log = cLog::get();
    log->logf("doXML\n");
    if (gCommandDepth >= kMaxCommandDepth) {
        log->logf("Error: commands nested deeper than %d (fragments pressing each other's keys?), skipped",
                  kMaxCommandDepth);
        return 0;
    }
    ++gCommandDepth;

    for (const cXmlParam* p : tag->params()) {
        const char* n = p->name;
        if (strcasecmp(n, "trigger") == 0) {
            if (p->value[0]) {
                // A pressed F5 in a replayed take must not reload the show
                // every time the events run again.
                const bool outer = scriptedPress_;
                scriptedPress_ = true;
                key(static_cast<signed char>(p->value[0]), true);
                scriptedPress_ = outer;
            } else
                log->logf("Error: trigger without a key");
        } else if (strcasecmp(n, "name") == 0) {
            settings.setTitle(p->value);
            std::printf("name: %s\n", settings.title);
        } else if (strcasecmp(n, "width") == 0) {
            readWindowSide(settings.width, "width", cXmlTag::toInt(p->value));
        } else if (strcasecmp(n, "height") == 0) {
            readWindowSide(settings.height, "height", cXmlTag::toInt(p->value));
        } else if (strcasecmp(n, "bpp") == 0) {
            settings.colourBits = cXmlTag::toInt(p->value);
        } else if (strcasecmp(n, "vhs") == 0) {
            gSwitches.vhs = cXmlTag::toInt(p->value) != 0;
        } else if (strcasecmp(n, "showfps") == 0) {
            gSwitches.showfps = cXmlTag::toInt(p->value) != 0;
        } else if (strcasecmp(n, "lockfps") == 0) {
            const int fps = cXmlTag::toInt(p->value);
            if (fps < 0)
                log->logf("Error: lockfps %d is negative, keeping %d", fps, gSwitches.lockfps);
            else
                gSwitches.lockfps = fps;
        } else if (strcasecmp(n, "fullscreen") == 0) {
            settings.fullscreen = cXmlTag::toInt(p->value) != 0;
        } else if (strcasecmp(n, "pacing") == 0) {
            if (strcasecmp(p->value, "spin") == 0)
                pacing = ePacing::spin;
            else if (strcasecmp(p->value, "sleep") == 0)
                pacing = ePacing::sleep;
            else
                log->logf("Error: pacing \"%s\" is neither spin nor sleep, kept", p->value);
        } else if (strcasecmp(n, "clock") == 0) {
            if (strcasecmp(p->value, "frames") == 0)
                timeline.source = cTimeline::eSource::frames;
            else if (strcasecmp(p->value, "music") == 0)
                timeline.source = cTimeline::eSource::music;
            else
                log->logf("Error: clock \"%s\" is neither frames nor music, kept", p->value);
        }
        // showconfig is accepted and does nothing; other params belong to
        // the tag's own kind (an event's time, bank and key).
    }

    int n = tag->childCount();
    int i = 0;
    for (cXmlTag* child = tag->firstChild; child; child = child->next) {
        // A stop signal ends the walk; the demo is then torn down as usual.
        if (stopRequested()) break;
        // A rebuilt show is played by the run that is running.
        if (rebuilding_ && child == rebuildRun_) break;
        log->logf("param %i.%i [%s]\n", i, n, child->name);
        ++i;
        if (cEffect* effect = findEffect(child->name)) {
            effect->doXML(child);
            continue;
        }
        if (child->nameIs("keybank"))
            keybank(child);
        else if (child->nameIs("midi"))
            midiMap.add(child);
        else if (child->nameIs("midifile"))
            controllers::midiFileCommand(*this, child);
        else if (child->nameIs("draworder"))
            setDrawOrder(child);
        else if (child->nameIs("add"))
            addEffect(child);
        else if (child->nameIs("texture"))
            textureCommand(*registry, child, &rerun);
        else if (child->nameIs("camera"))
            cameraCommand(*registry, child, &rerun);
        else if (child->nameIs("surface")) {
            std::printf("weeeeeee surface!!\n");
            surfaceCommand(*registry, child, &rerun);
        } else if (child->nameIs("event"))
            timeline.declare(child, rerun.again);
        else if (child->nameIs("create"))
            create();
        else if (child->nameIs("loadplugin"))
            loadPlugin(child);
        else if (child->nameIs("load"))
            load(child);
        else if (child->nameIs("run")) {
            if (!rebuilding_) run();
        } else if (child->nameIs("exit")) {
            if (window) noteShowEnd("the script's exit command");
            close();
        }
        // A close asked for inside this command (Escape during a load, exit
        // in an event, ...) takes effect between two commands.
        if (closing_ && gCommandDepth == 1) finishClose();
        if (resumeAt_ && gCommandDepth == 1) {
            // The show was rebuilt from a new tree while it ran: the rest
            // of the demo element is the new one's, after its run.
            child = resumeAt_;
            resumeAt_ = nullptr;
            n = child->parent->childCount();
            i = 1;
            for (cXmlTag* c = child->parent->firstChild; c != child; c = c->next) ++i;
        }
    }
    --gCommandDepth;
    return 0;
}

void cDemo::create()
{
    if (rebuilding_ && window) {
        // A rebuilt show plays on in the window it has; a new name shows
        // in its title at once, a new size or mode at the next start.
        if (titleNoteUntil_ == 0) platform::setWindowTitle(window, settings.title);
        return;
    }
    // A second create replaces the window and context of the first.
    if (!cGLWindow::create(settings) && !window) {
        cLog::get()->logf("create: no window could be opened; run will not play");
        noteShowEnd(kShowEndNoWindow);
    }
    loadExtensions();
    if (gExt.wglSwapIntervalEXT) gExt.wglSwapIntervalEXT(settings.swapControl ? 1 : 0);

    makeCurrent();
    if (renderContext) {
        glClearColor(0, 0, 0, 1);
        for (int i = 0; i < 2; ++i) {
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            platform::swapBuffers(deviceContext);
        }
    }
    if (!BASS_Init(-1, 44100, 32, window, nullptr)) BASS_Init(-2, 44100, 0, window, nullptr);
    BASS_Start();
    timer->reset();
}

void cDemo::setDrawOrder(cXmlTag* tag)
{
    drawCount = 0;
    for (const cXmlParam* p : tag->params()) {
        const bool isEffect = strcasecmp(p->name, "effect") == 0;
        const bool isSurface = strcasecmp(p->name, "surface") == 0;
        if (!isEffect && !isSurface) continue;
        if (drawCount >= kMaxDrawOrder) {
            cLog::get()->logf("Error: draw order holds at most %d entries, [%s] left out", kMaxDrawOrder, p->value);
            continue;
        }
        sDrawEntry entry;
        if (isEffect) {
            entry.kind = 0;
            entry.effect = findEffect(p->value);
            if (!entry.effect) {
                cLog::get()->logf("XML Error: DrawOrder");
                reportScriptProblem(tag, describeMissingEffect(p->value));
                continue;
            }
        } else {
            entry.kind = 1;
            // "main" is the window itself; any other name is a registry
            // surface, declared here when the script has not declared it.
            if (strcasecmp(p->value, "main") != 0) {
                entry.surface = registry->findSurface(p->value);
                if (!entry.surface) {
                    cLog::get()->logf("XML Error: DrawOrder");
                    continue;
                }
            }
        }
        drawOrder[drawCount++] = entry;
    }
}

std::string cDemo::describeMissingEffect(const char* name)
{
    std::vector<std::string> names;
    std::string list;
    for (int i = 0; i < effectCount; ++i) {
        names.emplace_back(effects[i]->name);
        list += (list.empty() ? "" : ", ") + names.back();
    }
    const std::string nearest = nearestName(name, names);
    return std::string("draworder: no effect is named \"") + name + "\" (effects: " + (list.empty() ? "none" : list) +
           ")" + (nearest.empty() ? "" : "; did you mean \"" + nearest + "\"?");
}

void cDemo::loadingFrame()
{
    // A rebuilt show loads without drawing, so the running show is not
    // interrupted by loading frames.
    if (rebuilding_) return;
    // The window answers the system while a long load goes on: a window
    // that takes no messages for seconds is shown as not responding.
    // Escape or the close box end the load after the effect being loaded.
    if (!loadingSawQuit_ && !platform::pumpMessages()) {
        // The quit message belongs to the run loop: it is put back.
        loadingSawQuit_ = true;
        platform::postQuit();
    }
    if (closing_) return;
    if (renderContext) {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        if (loader) {
            glPushAttrib(0xFFFFF);
            loader->update(1.0f);
            loader->draw();
            glPopAttrib();
        }
    }
    cDemoWindow::frame();
}

void cDemo::load(cXmlTag* tag)
{
    cLog* log = cLog::get();
    for (const cXmlParam* p : tag->params()) {
        if (strcasecmp(p->name, "effect") != 0) continue;
        cEffect* e = findEffect(p->value);
        if (!e) break;
        loader = e;
    }
    log->logf("Loading.");
    loadingSawQuit_ = false;
    if (loader) loader->load();
    loadingFrame();
    log->logf("sorting event");
    timeline.sort();
    log->logf("done");
    for (int i = 0; i < effectCount; ++i) {
        if (stopRequested() || closing_) {
            log->logf("Loading stopped.");
            return;
        }
        cEffect* e = effects[i];
        if (e != loader) {
            log->logf("Loading effect %2u:[%s][%s]", static_cast<unsigned>(i), e->name, e->type);
            e->load();
            log->logf("done.");
        }
        loadingFrame();
    }
}

void cDemo::resize(int newWidth, int newHeight)
{
    for (int i = 0; i < effectCount; ++i) effects[i]->resize(newWidth, newHeight);
    cGLWindow::resize(newWidth, newHeight);
}

bool cDemo::canReload() const { return reloader && reloader->watching() && !rebuilding_ && gCommandDepth == 1; }

void cDemo::play()
{
    switchesAtStart_ = gSwitches;
    // OSC listens from the first frame; one listener serves every demo.
    controllers::oscForShow(demoTag->getString("osc"), demoTag->getString("oscbind"));
    // The demo element's own play calls belong to the start of the show.
    KXAUDIO_SetCue(0.0, reinterpret_cast<uintptr_t>(demoTag), 0);
    doXML(demoTag);
}

int buildDemos(cXmlTag* root, cReloader* reloader)
{
    int index = 0;
    for (cXmlTag* child = root->firstChild; child; child = child->next) {
        if (stopRequested()) break;
        if (!child->nameIs("demo")) continue;
        cDemo* demo = new cDemo();
        demo->reloader = reloader;
        demo->demoTag = child;
        demo->demoIndex = index++;
        demo->play();
        // After a reload the demo played the new tree's element; the next
        // demo elements are the new tree's.
        child = demo->demoTag;
        delete demo;
    }
    return 0;
}
