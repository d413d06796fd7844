// One show: a window with a GL context that owns the show's effects, draw
// order, events, key banks, plug-ins and scene registry, configured and
// driven by running script commands.
#pragma once

#include "common/media/media_shelf.h"
#include "player/demo_window.h"
#include "player/controllers/midi_map.h"
#include "player/controllers/midi_ports.h"
#include "player/music_clock.h"
#include "player/scene_commands.h"

#include <cstdint>
#include <string>

class cXmlTag;
class cEffect;
class cReloader;
class cPlugin;
class cSceneRegistry;
class cSurface;

class cDemo : public cDemoWindow {
public:
    enum : int { kMaxEffects = 48, kMaxDrawOrder = 48, kMaxEvents = cTimeline::kMaxEvents, kMaxPlugins = 16 };
    // F5's virtual-key code: the key that forces a reload.
    enum : int { kReloadKey = 0x74 };

    cDemo();
    ~cDemo() override;

    bool frame() override;
    void resize(int newWidth, int newHeight) override;
    void key(int code, bool down) override;
    // Escape, the close box, exit and the end of a capture. The window and
    // its context stay until the command, frame or loading step under way
    // is over; then the show is released while its context is current,
    // and the window and context go (finishClose).
    void close() override;

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

    // Controllers: what OSC and MIDI queued since the last frame, handled
    // at the start of a frame (frame() calls it; tests may too). Presses
    // act as the keyboard's; bank and attribute changes are written to the
    // key log, at most one record per attribute per frame.
    void handleControllerInput();
    // The show's <midi> elements; a rebuilt show reads them again.
    controllers::cMidiMap midiMap;
    // The MIDI input ports a show with a <midi> map listens to: opened when
    // the show starts to run, brought in line with the rebuilt show after a
    // reload, closed at the show's end.
    controllers::cMidiPorts midiPorts;
    void followMidiPorts();

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

    // Reload on save. With a reloader, the running show is rebuilt from the
    // script when its files change (or F5 is pressed): the window, its GL
    // context and the audio stay; effects, events, draw order, key banks,
    // registry and plug-ins come from the new script's demo element, and
    // the events up to the show time run again.
    cReloader* reloader = nullptr;
    cXmlTag* demoTag = nullptr; // the element played; the new tree's after a reload
    int demoIndex = 0;          // which demo element of the script it is
    // Plays demoTag (buildDemos' call).
    void play();
    // Reads the script again and rebuilds the show; a script that cannot
    // be read, or has no such demo element with a run command, leaves the
    // show as it is and says why. True when the show was rebuilt.
    bool reloadShow();
    // Whether a reload may happen now: only between frames of the run
    // started by the demo element itself, when no command list is running.
    bool canReload() const;

private:
    // Frees effects, events, draw order, plug-ins and the registry. For a
    // reload the plug-ins are kept aside for the new show to take again.
    void releaseShow(bool keepPlugins);
    void releaseSparePlugins();
    // A registry for a new show: its log line and the media shelf set.
    cSceneRegistry* newRegistry();
    void reportReload(bool failed, const char* text);
    // Moves the show on by a step without events or drawing (a rebuilt
    // show catching up with its clock).
    void passShow(float step, float time);
    void restoreTitle();
    enum : int { kMaxKeyNesting = 64, kMaxPressesInsideAPress = 1024 };

    // Releases the show with its context current, then closes the window.
    void finishClose();
    bool closing_ = false;         // close asked for; finishClose not yet run
    bool loadingSawQuit_ = false;  // a loading frame met the quit message and put it back

    void create();
    void setDrawOrder(cXmlTag* tag);
    // The line after "XML Error: DrawOrder": the name and the effects there are.
    std::string describeMissingEffect(const char* name);
    void load(cXmlTag* tag);
    void loadingFrame();
    void writeKeyLog(int code);
    // Appends an event holding one element ("<tune volume=\"0.5\"/>") at
    // this frame's time.
    void writeKeyLogChange(const std::string& element);
    // Runs <effect attribute="value"/> for a controller. False, with the
    // reason in why, when there is no such effect.
    bool setFromController(const std::string& effect, const std::string& attribute, const std::string& value);
    float previousFrameTime_ = -1.0f; // frameTime of the frame before this one
    void pressKey(int code, bool logged);

    // The keys whose events are running, outermost first. A key is not
    // pressed again inside its own handling, and one press (with all the
    // presses its events make) may press at most kMaxPressesInsideAPress
    // further keys, so fragments that press keys cannot make endless or
    // exponential work.
    int keysInHand[kMaxKeyNesting] = {};
    int keyNesting = 0;
    int pressesLeft = 0;

    // Rebuilding from a new tree: create keeps the window, load draws no
    // loading frames, run ends the walk there instead of playing.
    bool rebuilding_ = false;
    cXmlTag* rebuildRun_ = nullptr; // the new demo element's run command, where building ends
    cXmlTag* resumeAt_ = nullptr;   // where the demo element's walk goes on
    bool quietKeyLog_ = false;      // replayed presses are not written to the key log
    bool rehearsingSound_ = false;  // a rebuilt show catching up: play calls are only cued
    bool scriptedPress_ = false;    // the key being pressed comes from a trigger
    bool toldSoundLost_ = false;    // the lost sound device is in the log
    cMediaShelf shelf_;             // what the old show loaded, for the rebuilt one
    cPlugin* spare_[kMaxPlugins] = {};
    int spareCount_ = 0;
    sDemoSwitches switchesAtStart_;
    uint32_t titleNoteUntil_ = 0; // ticks; 0 when the title shows the show's name
};

// Builds, runs and destroys one demo for every top-level demo tag. With a
// reloader, each demo rebuilds itself when the script changes, and the demo
// elements after it are taken from the newest tree.
int buildDemos(cXmlTag* root, cReloader* reloader = nullptr);

// The file every key press is appended to: "keylog.txt" in the working
// folder unless the player set another path.
void setKeyLogFile(const std::string& path);

// The event time a key-log record made on the frame at show time now is
// written with, when the frame before stood at previous: the fewest decimals
// (one at least) that replay the record on this very frame.
std::string keyLogTime(float now, float previous);
