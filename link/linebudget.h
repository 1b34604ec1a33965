#pragma once

#include <QtGlobal>

// How many lines a flooding module may put into the log: kLines in each window of
// kWindowMs; the lines beyond are only counted by the caller. Time comes from outside
// (milliseconds of any steady clock), so the bound holds whatever the clock says.
class LineBudget
{
public:
    static constexpr qint64 kWindowMs = 100;
    static constexpr int kLines = 20;

    // True when a line at nowMs may be shown.
    bool take(qint64 nowMs)
    {
        if (!started || nowMs - windowStart >= kWindowMs) {
            started = true;
            windowStart = nowMs;
            used = 0;
        }
        if (used >= kLines)
            return false;
        ++used;
        return true;
    }

private:
    bool started = false;
    qint64 windowStart = 0;
    int used = 0;
};
