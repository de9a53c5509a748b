#pragma once
// Shared by the tests of the animated, text and geometry patterns: a
// pattern form of a given screen size with one pattern painted through
// the dispatcher, and pixel helpers.

#include "session/dispatcher.h"
#include "session/pattern_form.h"
#include "session/session_state.h"

#include <QImage>
#include <QRect>

#include <functional>
#include <memory>

namespace dynamic_test {

constexpr QRgb kBlack = 0x000000u;
constexpr QRgb kWhite = 0xffffffu;

// A fresh session on a W x H screen with `pattern` painted.
inline std::unique_ptr<PatternForm> PaintOn(int16_t w, int16_t h, int16_t pattern) {
    ResetSessionState();
    SessionState.ScreenWidthPx = w;
    SessionState.ScreenHeightPx = h;
    auto form = std::make_unique<PatternForm>(QSize(w, h));
    ConnectPatternTimers(*form);
    SessionState.PatternIndex = pattern;
    PaintPattern(*form);
    return form;
}

// Steps to `pattern` on an existing form, as the operator's next press does.
inline void PaintNext(PatternForm& form, int16_t pattern) {
    SessionState.PatternIndex = pattern;
    PaintPattern(form);
}

inline QRgb Px(PatternForm& form, int x, int y) { return form.surface().image().pixel(x, y) & 0xffffffu; }

// Pixels in `area` (clipped to the image) for which `pred` holds.
inline long Count(PatternForm& form, const QRect& area, const std::function<bool(QRgb)>& pred) {
    const QImage& image = form.surface().image();
    const QRect r = area & image.rect();
    long n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = r.left(); x <= r.right(); ++x)
            if (pred(row[x] & 0xffffffu)) ++n;
    }
    return n;
}

inline long CountNonBlack(PatternForm& form, const QRect& area) {
    return Count(form, area, [](QRgb c) { return c != kBlack; });
}

inline QRect Whole(PatternForm& form) { return QRect(QPoint(0, 0), form.surface().size()); }

} // namespace dynamic_test
