#pragma once
// The PNG files of an export: lossless, with an exact colour palette where
// a picture has few colours.

#include <QByteArray>
#include <QImage>
#include <QString>

// The picture with an exact colour table when it has at most 256 colours
// (alpha aside): one bit a pixel for one or two colours, eight up to 256.
// A null image when it has more. Decoded, it gives back every pixel.
QImage PalettePicture(const QImage& picture);

// The bytes of a PNG file of `picture`, lossless, as the export writes it:
// through PalettePicture when it can, at zlib level 1, with no gAMA
// chunk. False, with `error`, when it cannot be encoded (out of memory).
bool EncodePng(const QImage& picture, QByteArray* png, QString* error);
