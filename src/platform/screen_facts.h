#pragma once
// What the display server says about one screen: the output's mode in
// device pixels, the monitor's own preferred mode, the scaling or turning
// the desktop applies between the program's window and the panel, and the
// monitor's identity. This layer is the program's only platform-specific
// code; everything above it reads these plain values.

#include <QSize>
#include <QString>

#include <optional>

class QScreen;

// Which backend answered.
enum class FactsSource {
    Qt,      // Qt alone: no display server could be asked
    X11,     // the X server's RandR extension
    Wayland, // the Wayland compositor's wl_output / xdg-output
};

struct ScreenFacts {
    FactsSource source = FactsSource::Qt;
    // With source Qt: why no display server told the facts, as a sentence
    // without its full stop, e.g. "Qt's platform 'offscreen' has no
    // display server to ask".
    QString unaskedReason;

    // Qt's view of the screen.
    QString qtName;          // QScreen::name()
    QSize qtLogicalSize;     // QScreen::geometry().size()
    qreal qtPixelRatio = 1;  // QScreen::devicePixelRatio()
    QSize qtDeviceSize;      // the screen in device pixels as Qt's platform
                             // screen holds it (no rounding through logical
                             // pixels): the size of a full-screen buffer

    // The display server's view of the output showing the screen.
    QString outputName;                 // RandR output or wl_output name
    QString description;                // the compositor's description of the output
    std::optional<QSize> currentMode;   // mode in device pixels, as the panel scans it
    std::optional<QSize> preferredMode; // the monitor's preferred (native) mode
    std::optional<double> refreshHz;    // of the current mode
    std::optional<int> outputScale;     // Wayland's integer output scale
    std::optional<QSize> logicalSize;   // Wayland: the output's size in the
                                        // compositor's logical pixels
    int rotation = 0;                   // degrees, counter-clockwise: 0, 90, 180, 270
    bool reflected = false;             // mirrored in x or y
    bool scalingTransform = false;      // X11: a CRTC transform beyond rotation
    bool xwayland = false;              // Qt talks X11 to a Wayland compositor's X server

    // The monitor's identity: from its EDID where the server passes it on,
    // else from what the server says of the output.
    QString maker;                      // EDID's three-letter id, or the output's make
    QString model;                      // EDID's monitor name, or the output's model
    QString serial;                     // EDID's serial text, else its serial number
    std::optional<int> productCode;     // EDID's product code
};

// Asks the display server that shows the screen: the Wayland compositor
// when Qt runs on Wayland; the X server when Qt runs on X11, and, when that
// X server is XWayland and WAYLAND_DISPLAY names its compositor, the
// compositor about the output's real mode. On any other platform (offscreen,
// Windows) or without the libraries at build time, Qt alone. Never fails:
// what no one says stays empty. A null screen gives empty facts.
ScreenFacts QueryScreenFacts(const QScreen* screen);

// Qt's part of the facts alone, without asking any server.
ScreenFacts QtScreenFacts(const QScreen* screen);

// The current mode in the orientation of the desktop (a turned output
// scans a mode of swapped sides).
std::optional<QSize> OrientedMode(const ScreenFacts& facts);

// The screen's true size in device pixels: the output's current mode when
// the server says it, else Qt's device size of the screen.
QSize TrueDeviceSize(const ScreenFacts& facts);

// A size as "1920x1080".
QString SizeText(QSize size);

// A short human-readable account of the facts, one "key: value" a line.
QString DescribeScreenFacts(const ScreenFacts& facts);
