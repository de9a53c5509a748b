#pragma once
// What the tests share: a pattern painted on a form of a given screen
// size, the picture a per-pixel rule gives and one comparison of pictures
// that names the first differing pixel, and an answerer for the modal
// message boxes. `SessionState` is put back to its start-of-program value
// before and after every test (test_main).

#include "session/dispatcher.h"
#include "session/pattern_form.h"
#include "session/render_pattern.h"
#include "session/session_state.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QRect>
#include <QTimer>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <sys/resource.h>

namespace test {

constexpr QRgb kBlack = 0x000000u;
constexpr QRgb kWhite = 0xffffffu;

// A session on a W x H screen with `pattern` painted by the dispatcher on
// a form whose timers tick as the window's do.
inline std::unique_ptr<PatternForm> PaintOn(int16_t w, int16_t h, int16_t pattern) {
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

// One pixel, without alpha.
inline QRgb Px(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xffffffu; }
inline QRgb Px(PatternForm& form, int x, int y) { return Px(form.surface().image(), x, y); }

// Pixels in `area` (clipped to the image) for which `pred` holds.
inline long Count(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& pred) {
    const QRect r = area & image.rect();
    long n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = r.left(); x <= r.right(); ++x)
            if (pred(row[x] & 0xffffffu)) ++n;
    }
    return n;
}
inline long Count(PatternForm& form, const QRect& area, const std::function<bool(QRgb)>& pred) {
    return Count(form.surface().image(), area, pred);
}
inline long CountNonBlack(PatternForm& form, const QRect& area) {
    return Count(form, area, [](QRgb c) { return c != kBlack; });
}
// The ink of text drawn in `colour`: pixels in `area` within `tolerance`
// of it in each channel. Antialiased glyphs have few pixels of exactly
// their colour, and how many depends on the face's hinting.
inline long InkNear(const QImage& image, const QRect& area, QRgb colour, int tolerance = 64) {
    return Count(image, area, [colour, tolerance](QRgb c) {
        return std::abs(qRed(c) - qRed(colour)) <= tolerance && std::abs(qGreen(c) - qGreen(colour)) <= tolerance &&
               std::abs(qBlue(c) - qBlue(colour)) <= tolerance;
    });
}
inline QRect Whole(PatternForm& form) { return QRect(QPoint(0, 0), form.surface().size()); }

// Position and colours of the first pixel where two pictures differ, or
// an empty string when they are equal.
inline std::string FirstDifference(const QImage& got, const QImage& want) {
    if (got.size() != want.size())
        return "size " + std::to_string(got.width()) + "x" + std::to_string(got.height()) + " instead of " +
               std::to_string(want.width()) + "x" + std::to_string(want.height());
    const QImage a = got.convertToFormat(QImage::Format_RGB32);
    const QImage b = want.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < a.height(); ++y) {
        const auto* ra = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* rb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            if (((ra[x] ^ rb[x]) & 0xffffffu) != 0)
                return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is " +
                       QColor(ra[x]).name().toStdString() + " instead of " + QColor(rb[x]).name().toStdString();
    }
    return {};
}

// The picture a rule gives, colour of pixel (x, y) by pixel, to compare
// with FirstDifference.
inline QImage Picture(QSize size, const std::function<QRgb(int x, int y)>& rule) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) row[x] = 0xff000000u | rule(x, y);
    }
    return image;
}

// What a modal message box looked like when it was answered.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::Information;
    QMessageBox::StandardButtons buttons;
    bool okIsDefault = false;
    QWidget* parent = nullptr;
    int16_t patternIndexWhileOpen = 0;
};

// Answers the next modal message box with `answer`, optionally once
// `before` returns true (polled while the box waits, for at most 3 s),
// and records what it saw.
class ModalAnswerer {
public:
    explicit ModalAnswerer(QMessageBox::StandardButton answer, std::function<bool()> before = {})
        : answer_(answer), before_(std::move(before)) {
        // First look as soon as events are processed, then every 5 ms.
        poll_.setInterval(0);
        QObject::connect(&poll_, &QTimer::timeout, [this] { check(); });
        poll_.start();
        clock_.start();
    }

    const std::optional<SeenBox>& seen() const { return seen_; }

private:
    void check() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        poll_.setInterval(5);
        if (!box) return;
        if (before_ && !before_() && clock_.elapsed() < 3000) return;
        SeenBox s;
        s.title = box->windowTitle();
        s.text = box->text();
        s.icon = box->icon();
        s.buttons = box->standardButtons();
        s.okIsDefault = box->defaultButton() != nullptr && box->defaultButton() == box->button(QMessageBox::Ok);
        s.parent = box->parentWidget();
        s.patternIndexWhileOpen = SessionState.PatternIndex;
        seen_ = s;
        poll_.stop();
        QAbstractButton* button = box->button(answer_);
        if (button) button->click();
        else box->reject();
    }

    QMessageBox::StandardButton answer_;
    std::function<bool()> before_;
    QTimer poll_;
    QElapsedTimer clock_;
    std::optional<SeenBox> seen_;
};

// While it lives, files of this process cannot grow beyond `bytes`: a
// write past it fails with EFBIG, as a write on a full disk fails with
// ENOSPC.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

} // namespace test
