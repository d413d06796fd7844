// Sleeping pacing: how long before the end of a frame a sleep has to end so
// that the frame still ends on time, learnt from how late the system's
// wake-ups have been. The rest of the frame is spun out on the clock, so the
// shorter this margin, the less of a core the pacing takes.
#pragma once

class cWakeMargin {
public:
    enum : int { kSamples = 64 };
    // A wake-up is late by this much before any was measured, and never by
    // less than kLeast or more than kMost (the spinning pacing's share).
    static constexpr double kFirst = 1.0, kLeast = 0.05, kMost = 2.0;

    // The moment to sleep to for a frame that must not end before deadline
    // (milliseconds on the precise clock).
    double wakeTarget(double deadline) const { return deadline - margin_; }

    // After a sleep to target that returned at woke: keeps the lateness and
    // sets the margin to cover nine wake-ups in ten of the last kSamples.
    void noteWake(double target, double woke);

    double margin() const { return margin_; }

private:
    double late_[kSamples] = {};
    int count_ = 0; // samples kept, up to kSamples
    int next_ = 0;  // where the next sample goes
    double margin_ = kFirst;
};
