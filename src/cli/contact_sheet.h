#pragma once
// The contact sheet of an export: every exported pattern as a numbered
// thumbnail with its name, in a grid under a title line.

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>
#include <vector>

class ContactSheet {
public:
    // patternSize: the size of the exported pictures.
    explicit ContactSheet(QSize patternSize);

    // The size every thumbnail gets: the pictures' shape, scaled to fit a
    // box of kThumbnailBox pixels.
    QSize thumbnailSize() const { return thumbnail_; }

    // Adds a picture; keeps only its thumbnail.
    void add(int16_t number, const QString& name, const QImage& picture);
    int count() const { return static_cast<int>(entries_.size()); }

    // The finished sheet.
    QImage render() const;
    // Where the thumbnail of the i-th added picture lies on the sheet.
    QRect thumbnailRect(int index) const;

    static constexpr int kThumbnailBox = 200;

private:
    struct Entry {
        int16_t number;
        QString name;
        QImage thumbnail;
    };

    struct Layout {
        int columns, rows, width, height;
    };
    Layout layout() const;

    QSize patternSize_;
    QSize thumbnail_;
    std::vector<Entry> entries_;
};
