#include "cli/png_encoding.h"

#include <QBuffer>
#include <QImageWriter>
#include <QList>

#include <algorithm>
#include <cstring>

namespace {

// zlib level 1 (Qt maps quality 100..0 onto levels 0..9). The pictures
// are few-coloured fields whose palette rows deflate to almost nothing at
// any level; level 1 encodes the ramps and the font sample about twice as
// fast as the default level 6, for files still smaller than 24-bit ones
// at level 6 (see docs/performance.md).
constexpr int kPngQuality = 89;

QRgb Opaque(QRgb c) { return c | 0xff000000u; }

} // namespace

QImage PalettePicture(const QImage& picture) {
    const QImage rgb = picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32
                           ? picture
                           : picture.convertToFormat(QImage::Format_RGB32);
    if (rgb.hasAlphaChannel() || rgb.isNull()) return QImage();
    const int w = rgb.width();
    const int h = rgb.height();

    // The colours, in order of appearance; most rows are long runs.
    QList<QRgb> table;
    auto indexOf = [&table](QRgb c) {
        const auto at = std::find(table.cbegin(), table.cend(), c);
        return at == table.cend() ? -1 : static_cast<int>(at - table.cbegin());
    };
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        QRgb last = 0;
        for (int x = 0; x < w; ++x) {
            const QRgb c = Opaque(row[x]);
            if (x > 0 && c == last) continue;
            last = c;
            if (indexOf(c) >= 0) continue;
            if (table.size() == 256) return QImage();
            table << c;
        }
    }

    if (table.size() <= 2) {
        // One bit a pixel, the first bit the leftmost, as PNG stores it.
        QImage mono(rgb.size(), QImage::Format_Mono);
        if (mono.isNull()) return QImage();
        mono.setColorTable(table);
        const QRgb one = table.size() == 2 ? table[1] : 0u;
        for (int y = 0; y < h; ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
            uchar* out = mono.scanLine(y);
            std::memset(out, 0, static_cast<size_t>(mono.bytesPerLine()));
            if (table.size() == 1) continue;
            for (int x = 0; x < w; ++x)
                if (Opaque(row[x]) == one) out[x >> 3] |= static_cast<uchar>(0x80u >> (x & 7));
        }
        return mono;
    }

    QImage indexed(rgb.size(), QImage::Format_Indexed8);
    if (indexed.isNull()) return QImage();
    indexed.setColorTable(table);
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        uchar* out = indexed.scanLine(y);
        QRgb last = Opaque(row[0]);
        uchar index = static_cast<uchar>(indexOf(last));
        for (int x = 0; x < w; ++x) {
            const QRgb c = Opaque(row[x]);
            if (c != last) {
                last = c;
                index = static_cast<uchar>(indexOf(c));
            }
            out[x] = index;
        }
    }
    return indexed;
}

bool EncodePng(const QImage& picture, QByteArray* png, QString* error) {
    const QImage palette = PalettePicture(picture);
    png->clear();
    QBuffer buffer(png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    // Qt 6 writes no gAMA chunk: a viewer shows the stored values as
    // they are, as the pattern window does.
    writer.setQuality(kPngQuality);
    if (writer.write(palette.isNull() ? picture : palette)) return true;
    *error = writer.errorString();
    return false;
}
