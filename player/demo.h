// One show: a window with a GL context that owns the show's effects, draw
// order, events, key banks, plug-ins and scene registry, configured and
// driven by running script commands.
#pragma once

#include "player/demo_window.h"
#include "player/music_clock.h"
#include "player/scene_commands.h"

#include <string>

class cXmlTag;
class cEffect;
class cPlugin;
class cSceneRegistry;
class cSurface;

class cDemo : public cDemoWindow {
public:
    enum : int { kMaxEffects = 48, kMaxDrawOrder = 48, kMaxEvents = cTimeline::kMaxEvents, kMaxPlugins = 16 };

    cDemo();
    ~cDemo() override;

    bool frame() override;
    void resize(int newWidth, int newHeight) override;
    void key(int code, bool down) override;

    // Runs one command list: the demo tag, or an event fragment.
    int doXML(cXmlTag* tag);
    cEffect* findEffect(const char* name);

    // The frame loop: one frame's events, cameras and effects at the
    // timeline's frameTime; run plays frames until the window closes.
    void advanceShow(float step);
    void run();
    // Runs event fragments for the timeline (see sSceneRerun for again).
    cTimeline::Runner eventRunner();
    void runEvent(cEvent& event, bool again);
    // clock="music" in a show that is played, not captured.
    bool followsMusic() const;

    // Key banks
    void keybank(cXmlTag* tag);

    cWindowSettings settings;
    int bank = 0;

    cEffect* effects[kMaxEffects] = {};
    int effectCount = 0;

    struct sDrawEntry {
        int kind = 0; // 0 effect, 1 surface
        cEffect* effect = nullptr;
        cSurface* surface = nullptr; // none: the window's own frame buffer
    };
    sDrawEntry drawOrder[kMaxDrawOrder];
    int drawCount = 0;

    // The events, the clock and the speed live in the timeline (cDemoWindow).
    sSceneRerun rerun;
    cMusicClock musicClock;

    cEffect* loader = nullptr;

    cPlugin* plugins[kMaxPlugins] = {};
    int pluginCount = 0;

    cSceneRegistry* registry = nullptr;

    // Plug-ins and effect instances
    void loadPlugin(cXmlTag* tag);
    cEffect* createEffect(const char* typeName);
    void addEffect(cXmlTag* tag);

private:
    enum : int { kMaxKeyNesting = 64, kMaxPressesInsideAPress = 1024 };

    void create();
    void setDrawOrder(cXmlTag* tag);
    void load(cXmlTag* tag);
    void loadingFrame();
    void writeKeyLog(int code);
    void pressKey(int code);

    // The keys whose events are running, outermost first. A key is not
    // pressed again inside its own handling, and one press (with all the
    // presses its events make) may press at most kMaxPressesInsideAPress
    // further keys, so fragments that press keys cannot make endless or
    // exponential work.
    int keysInHand[kMaxKeyNesting] = {};
    int keyNesting = 0;
    int pressesLeft = 0;
};

// Builds, runs and destroys one demo for every top-level demo tag.
int buildDemos(cXmlTag* root);

// The file every key press is appended to: "keylog.txt" in the working
// folder unless the player set another path.
void setKeyLogFile(const std::string& path);
