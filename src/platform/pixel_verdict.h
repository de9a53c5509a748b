#pragma once
// Whether one pattern pixel reaches the panel as one panel pixel, judged
// from what the display server says about the screen.

#include "platform/screen_facts.h"

#include <QString>

struct PixelVerdict {
    // False when no display server could be asked (facts from Qt alone):
    // then nothing is claimed, and oneToOne is false too.
    bool known = true;
    bool oneToOne = true;
    bool nativeModeKnown = false;
    // One line for the operator: what is wrong and what to do, what was
    // found when nothing is wrong, or why it is unknown.
    QString message;
};

// One pattern pixel is one panel pixel unless the buffer the program draws
// (Qt's device size of the screen) differs from the output's mode (the
// desktop resamples or turns the window), or the output's mode is not the
// monitor's preferred mode (the monitor's scaler resamples every picture).
// Where the server does not name a preferred mode, the second test is
// left out and the native mode is reported unknown. Where no server could
// be asked at all, the verdict is unknown, with the reason.
PixelVerdict JudgePixels(const ScreenFacts& facts);

// The verdict in one line, as --check prints it: "1:1", the message when
// it is not, or "1:1 unknown: " and the message.
QString VerdictLine(const PixelVerdict& verdict);
