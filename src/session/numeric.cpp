#include "session/numeric.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace numeric {

RuntimeError::RuntimeError(Code code)
    : std::runtime_error("run-time error"), code_(code) {}

QString RuntimeError::name() const {
    switch (code_) {
    case Overflow: return QStringLiteral("Overflow");
    case DivisionByZero: return QStringLiteral("Division by zero");
    case TypeMismatch: return QStringLiteral("Type mismatch");
    case InvalidArgument: return QStringLiteral("Invalid procedure call or argument");
    case OutOfMemory: return QStringLiteral("Out of memory");
    }
    return QStringLiteral("Application-defined or object-defined error");
}

void Raise(RuntimeError::Code code) { throw RuntimeError(code); }

int16_t Narrow16(long long value) {
    if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max())
        Raise(RuntimeError::Overflow);
    return static_cast<int16_t>(value);
}

int16_t Add16(int16_t a, int16_t b) { return Narrow16(static_cast<long long>(a) + b); }
int16_t Sub16(int16_t a, int16_t b) { return Narrow16(static_cast<long long>(a) - b); }
int16_t Mul16(int16_t a, int16_t b) { return Narrow16(static_cast<long long>(a) * b); }

int32_t Narrow32(long long value) {
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        Raise(RuntimeError::Overflow);
    return static_cast<int32_t>(value);
}

namespace {
long long RoundHalfEven(double value, double lo, double hi) {
    if (!std::isfinite(value)) Raise(RuntimeError::Overflow);
    const double floor = std::floor(value);
    const double diff = value - floor;
    double r = floor;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(floor, 2.0) != 0.0)) r = floor + 1.0;
    if (r < lo || r > hi) Raise(RuntimeError::Overflow);
    return static_cast<long long>(r);
}
} // namespace

int16_t Round16(double value) {
    return static_cast<int16_t>(RoundHalfEven(value, -32768.0, 32767.0));
}

int32_t Round32(double value) {
    return static_cast<int32_t>(RoundHalfEven(value, -2147483648.0, 2147483647.0));
}

float Single(double value) {
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
        Raise(RuntimeError::Overflow);
    return static_cast<float>(value);
}

QString FloatText(float value) {
    if (value == 0.0f) return QStringLiteral("0"); // no "-0"
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general);
    return QString::fromLatin1(buf, static_cast<int>(res.ptr - buf));
}

double TextToNumber(const QString& text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok) Raise(RuntimeError::TypeMismatch);
    return v;
}

} // namespace numeric
