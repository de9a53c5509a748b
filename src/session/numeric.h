#pragma once
// The program's numeric rules: 16-bit signed integers that raise the
// run-time error "Overflow" when a result leaves -32768..32767, rounding
// to the nearest integer with ties to the even neighbour, checked
// single-precision results, and floats written in their shortest form.

#include <QString>

#include <cstdint>
#include <stdexcept>

namespace numeric {

// A run-time error of the program. Nothing in the program catches it
// except the display probe; everywhere else it takes the default course:
// the application reports it in a message box and ends with a non-zero
// exit status.
class RuntimeError : public std::runtime_error {
public:
    enum Code : int {
        Overflow = 6,
        DivisionByZero = 11,
        TypeMismatch = 13,
        InvalidArgument = 5,
        OutOfMemory = 7,
    };
    explicit RuntimeError(Code code);
    Code code() const { return code_; }
    // The error's name as shown to the operator, for example "Overflow".
    QString name() const;

private:
    Code code_;
};

[[noreturn]] void Raise(RuntimeError::Code code);

// 16-bit signed arithmetic; a result outside -32768..32767 raises Overflow.
int16_t Narrow16(long long value);
int16_t Add16(int16_t a, int16_t b);
int16_t Sub16(int16_t a, int16_t b);
int16_t Mul16(int16_t a, int16_t b);

// 32-bit signed narrowing; a result outside the 32-bit range raises Overflow.
int32_t Narrow32(long long value);

// Nearest integer, a tie going to the even neighbour (12.5 -> 12,
// 13.5 -> 14). Out of range, infinite or NaN raises Overflow.
int16_t Round16(double value);
int32_t Round32(double value);

// A double stored as a single-precision float: an infinite or NaN result,
// or one beyond the float range, raises Overflow.
float Single(double value);

// A single-precision float as text in the shortest general decimal form
// that reads back as the same float: 513, 102.4, -1, 0.
QString FloatText(float value);

// Decimal text to a number, as used for timer tags and the auto-play step.
// Leading and trailing blanks are allowed; anything else raises TypeMismatch.
double TextToNumber(const QString& text);

} // namespace numeric
