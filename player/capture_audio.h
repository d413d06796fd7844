// Capture mode's sound track: after every captured frame the show's audio
// for that frame is mixed offline and appended to DIR/audio.wav, so the WAV
// is exactly frames / fps seconds long and in step with the frames.
#pragma once

// Appends the audio of captured frame `frameIndex` (0-based).
void captureFrameAudio(long long frameIndex);
// Completes the WAV header; called once the capture is over. Frames
// captured after it add nothing to the WAV.
void finishCaptureAudio();
