#include "session/numeric.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using numeric::RuntimeError;

namespace {

bool RaisesOverflow(auto&& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.code() == RuntimeError::Overflow && e.name() == QStringLiteral("Overflow");
    }
    return false;
}

} // namespace

TEST(Numeric, SixteenBitArithmeticStopsAtTheRangeEdges) {
    EXPECT_EQ(numeric::Add16(32766, 1), 32767);
    EXPECT_EQ(numeric::Sub16(-32767, 1), -32768);
    EXPECT_EQ(numeric::Mul16(8, 4095), 32760);
    EXPECT_EQ(numeric::Mul16(-128, 256), -32768);
    EXPECT_TRUE(RaisesOverflow([] { numeric::Add16(32767, 1); }));
    EXPECT_TRUE(RaisesOverflow([] { numeric::Sub16(-32768, 1); }));
    EXPECT_TRUE(RaisesOverflow([] { numeric::Mul16(8, 4096); }));
    EXPECT_TRUE(RaisesOverflow([] { numeric::Narrow16(40000); }));
    EXPECT_TRUE(RaisesOverflow([] { numeric::Narrow32(1LL << 31); }));
    EXPECT_EQ(numeric::Narrow32(-(1LL << 31)), std::numeric_limits<int32_t>::min());
}

struct RoundCase {
    double in;
    int out;
};

class RoundHalfEven : public ::testing::TestWithParam<RoundCase> {};

TEST_P(RoundHalfEven, GoesToNearestAndTiesToEven) {
    EXPECT_EQ(numeric::Round16(GetParam().in), GetParam().out);
    EXPECT_EQ(numeric::Round32(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Numeric, RoundHalfEven,
                         ::testing::Values(RoundCase{12.5, 12}, RoundCase{13.5, 14}, RoundCase{170.5, 170},
                                           RoundCase{170.75, 171}, RoundCase{682.5, 682}, RoundCase{683.5, 684},
                                           RoundCase{-0.5, 0}, RoundCase{-1.5, -2}, RoundCase{-2.5, -2},
                                           RoundCase{341.3333, 341}, RoundCase{0.49999999, 0},
                                           RoundCase{32767.4, 32767}, RoundCase{-32768.5, -32768}));

TEST(Numeric, RoundingOutOfRangeOrNotANumberOverflows) {
    EXPECT_TRUE(RaisesOverflow([] { numeric::Round16(32767.5); })); // tie goes up to 32768
    EXPECT_TRUE(RaisesOverflow([] { numeric::Round16(-32769.0); }));
    EXPECT_EQ(numeric::Round32(32767.5), 32768);
    EXPECT_TRUE(RaisesOverflow([] { numeric::Round32(2147483647.5); }));
    EXPECT_TRUE(RaisesOverflow([] { numeric::Round16(std::nan("")); }));
    EXPECT_TRUE(RaisesOverflow([] { numeric::Round32(HUGE_VAL); }));
    EXPECT_TRUE(RaisesOverflow([] { numeric::Single(1e300); }));
    EXPECT_FLOAT_EQ(numeric::Single(102.4), 102.4f);
}

TEST(Numeric, FloatsAreWrittenInTheirShortestForm) {
    EXPECT_EQ(numeric::FloatText(513.0f), "513");
    EXPECT_EQ(numeric::FloatText(102.4f), "102.4");
    EXPECT_EQ(numeric::FloatText(-1.0f), "-1");
    EXPECT_EQ(numeric::FloatText(0.0f), "0");
    EXPECT_EQ(numeric::FloatText(-0.0f), "0");
    EXPECT_EQ(numeric::FloatText(512.5f), "512.5");
    EXPECT_EQ(numeric::FloatText(32768.0f), "32768");
}

TEST(Numeric, TextToNumberReadsDecimalTextOnly) {
    EXPECT_EQ(numeric::TextToNumber("1"), 1.0);
    EXPECT_EQ(numeric::TextToNumber(" 0 "), 0.0);
    EXPECT_EQ(numeric::TextToNumber("0.5"), 0.5);
    EXPECT_THROW(numeric::TextToNumber(""), RuntimeError);
    EXPECT_THROW(numeric::TextToNumber("x"), RuntimeError);
}

TEST(Numeric, EveryErrorHasItsName) {
    EXPECT_EQ(RuntimeError(RuntimeError::Overflow).name(), "Overflow");
    EXPECT_EQ(RuntimeError(RuntimeError::OutOfMemory).name(), "Out of memory");
    EXPECT_EQ(RuntimeError(RuntimeError::TypeMismatch).name(), "Type mismatch");
    EXPECT_EQ(RuntimeError(RuntimeError::DivisionByZero).name(), "Division by zero");
}
