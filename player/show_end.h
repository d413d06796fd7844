// How the show ended, for the last line of log.txt: Escape, the script's
// exit command, the window closed, the capture complete, the end of the
// script, or a stop signal.
#pragma once

// Notes how the running show is ending; the latest note counts.
void noteShowEnd(const char* how);
// What was noted, or null.
const char* showEnd();

// The note of a show that could not open its window.
extern const char* const kShowEndNoWindow;
