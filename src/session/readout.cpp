#include "session/readout.h"

#include "session/numeric.h"
#include "session/pattern_form.h"
#include "session/session_state.h"

namespace {

constexpr double kOffsetTowardsCentre = 5.0;
constexpr double kOffsetLeftOfPointer = 77.0;
constexpr double kOffsetAbovePointer = 20.0;

constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kBlack = qRgb(0, 0, 0);

// Half of a screen extent, held in single precision.
float Half(int16_t extent) { return numeric::Single(extent / 2.0); }

} // namespace

QString ReadoutCaption(float x, float y) {
    const float column = numeric::Single(static_cast<double>(x) + 1.0);
    const float row = numeric::Single(static_cast<double>(y) + 1.0);
    return QStringLiteral("( ") + numeric::FloatText(column) + QStringLiteral(" , ") + numeric::FloatText(row) +
           QStringLiteral(" )");
}

void SetReadoutText(CursorLabel& label, float x, float y) { label.Caption = ReadoutCaption(x, y); }

void PlaceReadout(CursorLabel& label, float x, float y) {
    label.Left = Half(SessionState.ScreenWidthPx) > x ? numeric::Single(x + kOffsetTowardsCentre)
                                                      : numeric::Single(x - kOffsetLeftOfPointer);
    label.Top = Half(SessionState.ScreenHeightPx) > y ? numeric::Single(y + kOffsetTowardsCentre)
                                                      : numeric::Single(y - kOffsetAbovePointer);
}

void ApplyReadoutContrast(PatternForm& form, float x, float y) {
    const std::optional<QRgb> under = form.surface().pixel(x, y);
    form.Cursor.ForeColor = kWhite;
    if (under && qRed(*under) == 255 && qGreen(*under) == 255 && qBlue(*under) == 255) form.Cursor.ForeColor = kBlack;
}

void DrawReadoutCrosshair(PatternForm& form, float x, float y) {
    DrawingSurface& s = form.surface();
    s.clear();
    form.Cursor.ForeColor = kWhite;
    s.line(x, 0.0f, x, static_cast<float>(SessionState.ScreenHeightPx), kWhite);
    s.line(0.0f, y, static_cast<float>(SessionState.ScreenWidthPx), y, kWhite);
}
