// The player's command line: one optional script name, and options that
// start with "--" (capture mode, reload on save, the GL census, MIDI ports, help,
// version).
#pragma once

#include <string>
#include <vector>

struct sCommandLine {
    std::string script = "script.txt";
    bool help = false;
    bool version = false;
    bool capture = false;
    bool noReload = false; // --no-reload: the show is not rebuilt when its files change
    bool check = false;    // --check: read and check the script, play nothing
    std::string captureFolder; // or the video file's name
    bool captureSerial = false; // --capture-serial: read back and encode each frame in turn, as before
    std::string ffmpeg;         // --ffmpeg PATH
    std::vector<std::string> ffmpegArgs; // --ffmpeg-args "...", split into words
    std::string glCensusFile; // --gl-census FILE: GL objects alive, written once a second
    std::string midiPort;     // --midi NAME: only the MIDI input ports whose name contains NAME
    std::string oscPort;      // --osc PORT: listen for OSC; checked (and a bad one logged) when the show starts
    int fps = 0;
    long long frames = 0;
    double seconds = 0;
    std::string error;                 // set when the options cannot be used
    std::vector<std::string> warnings; // what was ignored (unknown options); the player still plays
};

sCommandLine parseCommandLine(int argc, char** argv);
const char* usageText();
