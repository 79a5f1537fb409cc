// SPDX-License-Identifier: MIT
#pragma once

// Clocks and memory figures for the benchmarks: wall time from std::chrono, CPU time and peak
// resident memory of the process from getrusage.

#include <QByteArray>
#include <QtGlobal>

#include <sys/resource.h>

#include <chrono>

namespace bench {

// User plus system CPU time of this process so far, in seconds.
inline double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

inline double wallSeconds() {
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

// The most memory the process has held resident so far, in KiB (Linux counts ru_maxrss in KiB).
inline long peakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Wall and CPU time between construction and a reading.
class Stopwatch {
public:
    Stopwatch() : wall_(wallSeconds()), cpu_(cpuSeconds()) {}
    double wall() const { return wallSeconds() - wall_; }
    double cpu() const { return cpuSeconds() - cpu_; }

private:
    double wall_;
    double cpu_;
};

// The benchmarks measure the window on the offscreen platform unless another one is asked for, so
// that a figure does not depend on a display server; its screen holds the whole window, as the
// tests' does (Qt's own offscreen screen is smaller, and the form would scroll).
inline void useOffscreenPlatformByDefault() {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=" VANTREL_LARGE_SCREEN));
}

}  // namespace bench
