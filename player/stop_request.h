// Ctrl+C (SIGINT) and SIGTERM end the whole run, cleanly. The handler only
// records the request; the frame loop, the loading loop, the command list
// walker and the demo loop look at it between their steps, so a frame, a
// log line or the capture's sound track is never cut in half. A second
// signal of the same kind ends the program at once, the default way.
#pragma once

// Installs the handlers. A signal that the parent process told us to
// ignore (a background job's Ctrl+C) stays ignored.
void installStopHandlers();

// True once a stop signal has arrived.
bool stopRequested();

// What asked for the stop ("SIGINT (Ctrl+C)", "SIGTERM"), null when nothing has.
const char* stopRequestName();

// A deadline for a player started by a test: with KESTRELUX_TEST_DEADLINE=N
// in its environment the player asks itself to stop after N seconds (as
// SIGTERM does) and ends at once if it is still running a little later,
// so a player whose test went away never plays on. Either way its exit
// code is 124, as timeout(1) gives. Unset: no deadline.
constexpr const char* kDeadlineVariable = "KESTRELUX_TEST_DEADLINE";
constexpr int kDeadlineGraceMs = 3000;
void startDeadline();
bool deadlinePassed();
