#pragma once
// The identity part of a monitor's EDID block (VESA E-EDID 1.3/1.4): who
// made it, which product, which unit, and the first detailed timing, which
// is the panel's preferred mode.

#include <QByteArray>
#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>

struct EdidInfo {
    QString maker;              // three-letter manufacturer id, e.g. "QML"
    int productCode = 0;
    std::uint32_t serialNumber = 0;
    QString name;               // monitor name descriptor (0xFC), trimmed,
                                // control bytes escaped (PrintableText)
    QString serialText;         // serial number descriptor (0xFF), likewise
    std::optional<QSize> preferredTiming; // first detailed timing's active
                                          // area, a frame's height when interlaced
};

// Parses the 128-byte base block (longer input is fine: extension blocks
// are ignored). Nothing when the header or checksum is wrong.
std::optional<EdidInfo> ParseEdid(const QByteArray& bytes);
