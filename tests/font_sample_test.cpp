// The font sample: face, margins, line and copy counts, greyscale text,
// and the repeated-line shortcut against the plain loops.

#include "support.h"
#include "patterns/dynamic/font_sample.h"

#include <gtest/gtest.h>

#include <QFontInfo>

#include <cmath>

using namespace test;

namespace {

const QString kSample = QStringLiteral("字型顯示測試");

// Rows [top, top + rows) that hold any lit pixel.
bool RowsLit(PatternForm& form, int top, int rows) {
    return CountNonBlack(form, QRect(0, top, form.surface().width(), rows)) > 0;
}

} // namespace

TEST(FontSample, FaceResolvesToATraditionalChineseMingFace) {
    auto form = PaintOn(640, 480, 64);
    const QFontInfo info(form->surface().font());
    const QString family = info.family();
    EXPECT_TRUE(family.contains(QStringLiteral("Ming")) || family.contains(QStringLiteral("CJK TC"))) << qPrintable(family);
    EXPECT_EQ(form->surface().fontSize(), 10.0);
    EXPECT_EQ(form->surface().foreColor(), qRgb(255, 255, 255));
    // A CJK face has the glyphs itself: the six characters are square-ish, not fallback boxes.
    EXPECT_GT(form->surface().textWidth(kSample), 6 * 10.0);
}

TEST(FontSample, GlyphsAreGreyWithoutColourFringes) {
    auto form = PaintOn(640, 480, 64);
    const long lit = CountNonBlack(*form, Whole(*form));
    EXPECT_GT(lit, 640L * 480 / 20);
    EXPECT_EQ(Count(*form, Whole(*form), [](QRgb c) { return qRed(c) != qGreen(c) || qGreen(c) != qBlue(c); }), 0);
    // Strokes are drawn, not just faint edges.
    EXPECT_GT(Count(*form, Whole(*form), [](QRgb c) { return qRed(c) >= 160; }), lit / 20);
}

TEST(FontSample, MarginsAndLinesDownTowardsTheBottom) {
    for (const QSize size : {QSize(640, 480), QSize(1024, 768), QSize(301, 97)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        const int16_t w = static_cast<int16_t>(size.width()), h = static_cast<int16_t>(size.height());
        auto form = PaintOn(w, h, 64);
        EXPECT_EQ(CountNonBlack(*form, QRect(0, 0, w, 10)), 0);  // nothing above y = 10
        EXPECT_EQ(CountNonBlack(*form, QRect(0, 0, 5, h)), 0);   // nothing left of x = 5
        EXPECT_TRUE(RowsLit(*form, 10, 3));                      // the first line starts at the top margin

        // One line per line height while its top is above H - 10; each is lit.
        const double lh = form->surface().lineHeight();
        int lines = 0;
        for (double top = 10.0; top < h - 10; top += lh, ++lines) {
            SCOPED_TRACE(top);
            EXPECT_TRUE(RowsLit(*form, static_cast<int>(std::floor(top)), static_cast<int>(lh)));
        }
        EXPECT_GE(lines, 2);
        // The loops leave the text position below the last line.
        EXPECT_EQ(form->surface().currentX(), 0.0f);
        EXPECT_EQ(form->surface().currentY(), static_cast<float>(10.0 + lines * lh));
        EXPECT_GE(form->surface().currentY(), static_cast<float>(h - 10));
        const int below = static_cast<int>(std::ceil(10.0 + lines * lh));
        if (below < h) {
            EXPECT_EQ(CountNonBlack(*form, QRect(0, below, w, h - below)), 0);
        }
    }
}

TEST(FontSample, CopiesPerLineFollowTheRightMargin) {
    // A copy starts only while x < W - 30; the first starts at 5.
    PatternForm probe(QSize(10, 10));
    probe.surface().setFontSize(10.0);
    const double tw = probe.surface().textWidth(kSample);
    struct Case {
        int16_t w;
        int copies;
    };
    const int one = static_cast<int>(std::floor(tw)) + 35;  // text at least W - 35 wide: one copy
    const int two = static_cast<int>(std::ceil(tw)) + 36;   // second copy starts just left of W - 30
    for (const Case c : {Case{static_cast<int16_t>(one), 1}, Case{static_cast<int16_t>(two), 2},
                         Case{static_cast<int16_t>(5 + 2 * tw + 31), 3}}) {
        SCOPED_TRACE(c.w);
        auto form = PaintOn(c.w, 200, 64);
        const int rightOfCopies = static_cast<int>(std::ceil(5 + c.copies * tw)) + 1;
        const int leftOfLast = static_cast<int>(std::floor(5 + (c.copies - 1) * tw)) + 2;
        EXPECT_GT(CountNonBlack(*form, QRect(leftOfLast, 0, c.w, 200)), 0);
        EXPECT_EQ(CountNonBlack(*form, QRect(rightOfCopies, 0, c.w, 200)), 0);
    }
}

TEST(FontSample, NoTextOnNarrowOrLowScreens) {
    struct Case {
        int16_t w, h;
        bool lit;
    };
    for (const Case c : {Case{640, 20, false}, Case{640, 12, false}, Case{640, 21, true}, Case{35, 200, false},
                         Case{30, 200, false}}) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        auto form = PaintOn(c.w, c.h, 64);
        EXPECT_EQ(CountNonBlack(*form, Whole(*form)) > 0, c.lit);
        // The line breaks still run down to H - 10 (none at all for H <= 20).
        const float end = form->surface().currentY();
        EXPECT_GE(end, static_cast<float>(c.h - 10));
        if (c.h <= 20) {
            EXPECT_EQ(end, 10.0f);
        }
    }
}

TEST(FontSample, CopiedLinesMatchTheDrawnLoopsPixelForPixel) {
    struct Case {
        int16_t w, h;
        qreal dpi;
        const char* face; // empty: the window's face
    };
    int copiedSomewhere = 0;
    for (const Case c : {Case{640, 480, 96, ""}, Case{333, 201, 96, ""}, Case{1000, 37, 96, ""},
                         Case{500, 300, 72, ""}, Case{500, 300, 120, ""}, Case{700, 500, 144, ""},
                         Case{500, 400, 192, ""}, Case{500, 300, 96, "DejaVu Sans"},
                         Case{500, 300, 120, "Liberation Serif"}}) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " at " << c.dpi << " dpi " << c.face);
        PatternForm fast(QSize(c.w, c.h), c.dpi), plain(QSize(c.w, c.h), c.dpi);
        if (*c.face) {
            fast.surface().setFont(QFont(QString::fromLatin1(c.face)));
            plain.surface().setFont(QFont(QString::fromLatin1(c.face)));
        }
        const int copied = PrintFontSample(fast.surface(), c.w, c.h, true);
        EXPECT_EQ(PrintFontSample(plain.surface(), c.w, c.h, false), 0);
        copiedSomewhere += copied;
        EXPECT_TRUE(fast.surface().image() == plain.surface().image());
        EXPECT_EQ(fast.surface().currentX(), plain.surface().currentX());
        EXPECT_EQ(fast.surface().currentY(), plain.surface().currentY());
    }
    EXPECT_GT(copiedSomewhere, 0); // the shortcut was taken
}

TEST(FontSample, TextCellHoldsTheGlyphsAtEveryResolution) {
    // The ink of a printed line stays between its text position and one
    // line height below, so lines never run into each other.
    for (const char* face : {"新細明體", "Arial"}) {
        for (const qreal dpi : {72.0, 96.0, 120.0, 144.0, 192.0}) {
            SCOPED_TRACE(testing::Message() << face << " at " << dpi << " dpi");
            DrawingSurface s(QSize(300, 120), dpi);
            s.clear();
            QFont font(QString::fromUtf8(face));
            font.setPointSizeF(10.0);
            s.setFont(font);
            s.setForeColor(qRgb(255, 255, 255));
            s.setCurrentX(5);
            s.setCurrentY(40);
            s.print(kSample + QStringLiteral("Hgjy|"));
            const double lh = s.lineHeight();
            QRect ink;
            const QImage& image = s.image();
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if ((image.pixel(x, y) & 0xffffffu) != 0) ink |= QRect(x, y, 1, 1);
            ASSERT_TRUE(ink.isValid());
            EXPECT_GE(ink.top(), 40);
            EXPECT_LT(ink.bottom(), 40 + lh);
        }
    }
}
