#include "platform/edid.h"

#include "platform/printable_text.h"

#include <array>

namespace {

constexpr std::array<unsigned char, 8> kHeader{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr int kBlockSize = 128;
constexpr int kDescriptorsStart = 54;
constexpr int kDescriptorSize = 18;

// Flags of a detailed timing, byte 17: bit 7 set for an interlaced mode,
// whose vertical active count is the lines of one field.
constexpr unsigned char kInterlaced = 0x80;

// A text descriptor's 13 bytes: ends at a line feed, padded with spaces.
// Any other control byte is escaped: the monitor's text reaches terminals.
QString DescriptorText(const unsigned char* text) {
    QByteArray raw(reinterpret_cast<const char*>(text), 13);
    const int end = raw.indexOf('\n');
    if (end >= 0) raw.truncate(end);
    return PrintableText(QString::fromLatin1(raw).trimmed());
}

} // namespace

std::optional<EdidInfo> ParseEdid(const QByteArray& bytes) {
    if (bytes.size() < kBlockSize) return std::nullopt;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (std::size_t i = 0; i < kHeader.size(); ++i)
        if (b[i] != kHeader[i]) return std::nullopt;
    unsigned sum = 0;
    for (int i = 0; i < kBlockSize; ++i) sum += b[i];
    if (sum % 256 != 0) return std::nullopt;

    EdidInfo info;
    // Three letters of five bits each, 'A' = 1, big-endian.
    const unsigned id = (unsigned(b[8]) << 8) | b[9];
    for (int shift : {10, 5, 0}) {
        const unsigned letter = (id >> shift) & 0x1F;
        if (letter >= 1 && letter <= 26) info.maker += QChar(QLatin1Char(char('A' + letter - 1)));
    }
    info.productCode = b[10] | (b[11] << 8);
    info.serialNumber = std::uint32_t(b[12]) | (std::uint32_t(b[13]) << 8) | (std::uint32_t(b[14]) << 16) |
                        (std::uint32_t(b[15]) << 24);

    for (int d = 0; d < 4; ++d) {
        const unsigned char* desc = b + kDescriptorsStart + d * kDescriptorSize;
        const int pixelClock = desc[0] | (desc[1] << 8);
        if (pixelClock != 0) {
            if (d == 0) {
                const int width = desc[2] | ((desc[4] & 0xF0) << 4);
                int height = desc[5] | ((desc[7] & 0xF0) << 4);
                if (desc[17] & kInterlaced) height *= 2; // two fields make the frame
                if (width > 0 && height > 0) info.preferredTiming = QSize(width, height);
            }
            continue;
        }
        if (desc[3] == 0xFC) info.name = DescriptorText(desc + 5);
        else if (desc[3] == 0xFF) info.serialText = DescriptorText(desc + 5);
    }
    return info;
}
