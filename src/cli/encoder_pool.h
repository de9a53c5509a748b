#pragma once
// The encoding side of an export: PNG encoders on every core, pictures
// told apart so that a picture several patterns show (the black field,
// white) is encoded once, and how many pictures may be in flight at once.

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// What an export may hold of its pictures at once, the one being painted
// included: about 1 GB, whatever the number of cores.
constexpr qint64 kPictureBytesInFlight = qint64(1) << 30;

// How many pictures of `size` may wait for an encoder or be encoded at a
// time: two for each of `encoders`, as long as they and the picture being
// painted fit into kPictureBytesInFlight, and never fewer than one.
int PicturesInFlight(QSize size, int encoders);

// One picture on its way to a file, shared by every pattern that shows it.
struct Encoding {
    QImage picture;    // until it is encoded
    QByteArray png;    // the file's bytes, once done
    QString error;     // why it could not be encoded
    bool done = false; // guarded by the pool's mutex
};

// Encoders on every core. Pictures go in on the GUI thread; the caller
// waits for one at a time with a time limit, so it can watch for stop
// signals meanwhile.
class EncoderPool {
public:
    EncoderPool();
    ~EncoderPool() { stop(); }
    EncoderPool(const EncoderPool&) = delete;
    EncoderPool& operator=(const EncoderPool&) = delete;

    int threads() const { return pool_.maxThreadCount(); }

    std::shared_ptr<Encoding> add(QImage picture);
    // Waits up to `ms` for `e`; whether it is done.
    bool waitFor(const Encoding& e, int ms);
    bool isDone(const Encoding& e);
    // Drops the pictures no encoder has taken yet and waits for the ones
    // being encoded.
    void stop();

private:
    void encode(Encoding& e);

    QThreadPool pool_;
    std::mutex mutex_;
    std::condition_variable finished_;
    std::atomic<bool> cancelled_{false};
};

// What tells pictures apart cheaply: a hash of the bits, and the colour
// when every pixel has the same.
struct Digest {
    size_t hash = 0;
    std::optional<QRgb> colour;
};

// The digest of a 32-bit picture.
Digest DigestOf(const QImage& picture);

// The distinct pictures of an export so far, to find a picture shown
// before: by its digest, then by comparing every pixel.
class DistinctPictures {
public:
    // The earlier encoding of a picture equal to `picture`, or nullptr.
    std::shared_ptr<Encoding> find(const QImage& picture, const Digest& d, EncoderPool& pool);
    void add(const QImage& picture, const Digest& d, std::shared_ptr<Encoding> encoding);

private:
    // Pictures already encoded are not kept.
    void release(EncoderPool& pool);

    struct Seen {
        Digest digest;
        QSize size;
        QImage picture;
        std::shared_ptr<Encoding> encoding;
    };
    std::vector<Seen> seen_;
};
