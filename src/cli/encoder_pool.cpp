#include "cli/encoder_pool.h"

#include "cli/png_encoding.h"

#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

int PicturesInFlight(QSize size, int encoders) {
    const qint64 bytes = qint64(std::max(size.width(), 1)) * std::max(size.height(), 1) * qint64(sizeof(QRgb));
    const qint64 fit = kPictureBytesInFlight / bytes - 1; // the one being painted aside
    return static_cast<int>(std::clamp<qint64>(fit, 1, 2 * qint64(std::max(encoders, 1))));
}

EncoderPool::EncoderPool() { pool_.setMaxThreadCount(std::max(1, QThread::idealThreadCount())); }

std::shared_ptr<Encoding> EncoderPool::add(QImage picture) {
    auto e = std::make_shared<Encoding>();
    e->picture = std::move(picture);
    pool_.start([this, e] { encode(*e); });
    return e;
}

bool EncoderPool::waitFor(const Encoding& e, int ms) {
    std::unique_lock lock(mutex_);
    return finished_.wait_for(lock, std::chrono::milliseconds(ms), [&e] { return e.done; });
}

bool EncoderPool::isDone(const Encoding& e) {
    std::lock_guard lock(mutex_);
    return e.done;
}

void EncoderPool::stop() {
    cancelled_ = true;
    pool_.clear();
    pool_.waitForDone();
}

void EncoderPool::encode(Encoding& e) {
    if (cancelled_) return;
    QByteArray png;
    QString error;
    try {
        if (!EncodePng(e.picture, &png, &error) && error.isEmpty()) error = QStringLiteral("cannot encode");
    } catch (const std::bad_alloc&) {
        png.clear();
        error = QStringLiteral("Out of memory");
    }
    std::lock_guard lock(mutex_);
    e.png = std::move(png);
    e.error = std::move(error);
    e.picture = QImage();
    e.done = true;
    finished_.notify_all();
}

namespace {

// A hash of every 64-bit word, in four independent lanes so that it runs
// at the speed of memory (Qt's qHashBits takes several times as long on a
// 132 MB picture, on the thread that paints).
size_t HashOfBits(const uchar* bits, size_t bytes) {
    constexpr uint64_t kPrime = 0x100000001b3ull;
    uint64_t lane[4] = {0xcbf29ce484222325ull, 1, 2, 3};
    const size_t words = bytes / 8;
    size_t i = 0;
    for (; i + 4 <= words; i += 4)
        for (int k = 0; k < 4; ++k) {
            uint64_t w;
            std::memcpy(&w, bits + (i + static_cast<size_t>(k)) * 8, 8);
            lane[k] = (lane[k] ^ w) * kPrime;
        }
    uint64_t h = bytes;
    for (; i < words; ++i) {
        uint64_t w;
        std::memcpy(&w, bits + i * 8, 8);
        h = (h ^ w) * kPrime;
    }
    for (size_t b = words * 8; b < bytes; ++b) h = (h ^ bits[b]) * kPrime;
    for (const uint64_t l : lane) h = (h ^ l ^ (l >> 29)) * kPrime;
    return static_cast<size_t>(h);
}

bool SamePixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.format() != b.format()) return false;
    const size_t rowBytes = static_cast<size_t>(a.width()) * static_cast<size_t>(a.depth()) / 8;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), rowBytes) != 0) return false;
    return true;
}

} // namespace

Digest DigestOf(const QImage& picture) {
    Digest d;
    // A 32-bit picture's rows follow each other without padding.
    d.hash = HashOfBits(picture.constBits(), static_cast<size_t>(picture.sizeInBytes()));
    const auto* first = reinterpret_cast<const QRgb*>(picture.constScanLine(0));
    const QRgb c = first[0];
    if (!std::all_of(first, first + picture.width(), [c](QRgb p) { return p == c; })) return d;
    const size_t rowBytes = static_cast<size_t>(picture.width()) * sizeof(QRgb);
    for (int y = 1; y < picture.height(); ++y)
        if (std::memcmp(picture.constScanLine(y), first, rowBytes) != 0) return d;
    d.colour = c;
    return d;
}

std::shared_ptr<Encoding> DistinctPictures::find(const QImage& picture, const Digest& d, EncoderPool& pool) {
    release(pool);
    for (Seen& s : seen_) {
        if (s.digest.hash != d.hash || s.size != picture.size()) continue;
        if (s.digest.colour || d.colour) {
            // Both checked whole: equal when of one and the same colour.
            if (s.digest.colour == d.colour) return s.encoding;
            continue;
        }
        QImage earlier = s.picture;
        if (earlier.isNull()) {
            // Let go of once encoded: its file tells its pixels.
            earlier = QImage::fromData(s.encoding->png, "png").convertToFormat(picture.format());
        }
        if (SamePixels(earlier, picture)) return s.encoding;
    }
    return nullptr;
}

void DistinctPictures::add(const QImage& picture, const Digest& d, std::shared_ptr<Encoding> encoding) {
    // A field of one colour is told by its digest alone.
    seen_.push_back({d, picture.size(), d.colour ? QImage() : picture, std::move(encoding)});
}

void DistinctPictures::release(EncoderPool& pool) {
    for (Seen& s : seen_)
        if (!s.picture.isNull() && pool.isDone(*s.encoding)) s.picture = QImage();
}
