#pragma once

#include <QString>

#include <cstdio>

// The program's debug trace: plain lines on standard output that never reach
// the operator. Flushed at once, so they interleave correctly with Qt's own
// messages and survive a hard exit.
// Benchmarks switch the trace off so that it does not mix with their figures.
inline bool &diagnosticsEnabled()
{
    static bool enabled = true;
    return enabled;
}

inline void diagnostic(const QString &text)
{
    if (!diagnosticsEnabled()) {
        return;
    }
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}
