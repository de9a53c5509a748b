#pragma once
// Whether one pattern pixel reaches the panel as one panel pixel, judged
// from what the display server says about the screen.

#include "platform/screen_facts.h"

#include <QString>

struct PixelVerdict {
    bool oneToOne = true;
    bool nativeModeKnown = false;
    // One line for the operator: what is wrong and what to do, or what was
    // found when nothing is wrong.
    QString message;
};

// One pattern pixel is one panel pixel unless the buffer the program draws
// (Qt's device size of the screen) differs from the output's mode (the
// desktop resamples or turns the window), or the output's mode is not the
// monitor's preferred mode (the monitor's scaler resamples every picture).
// Where the server does not name a preferred mode, the second test is
// left out and the native mode is reported unknown.
PixelVerdict JudgePixels(const ScreenFacts& facts);
