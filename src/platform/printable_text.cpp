#include "platform/printable_text.h"

#include <algorithm>

namespace {

bool NeedsEscape(char16_t c) {
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029 || (c >= 0x202a && c <= 0x202e) ||
           (c >= 0x2066 && c <= 0x2069) || c == 0x200e || c == 0x200f || c == 0x061c;
}

} // namespace

QString PrintableText(const QString& text) {
    const auto needs = [](QChar c) { return NeedsEscape(c.unicode()); };
    if (std::none_of(text.cbegin(), text.cend(), needs)) return text;
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (!NeedsEscape(c)) out += ch;
        else if (c == u'\n') out += QLatin1String("\\n");
        else if (c == u'\r') out += QLatin1String("\\r");
        else if (c == u'\t') out += QLatin1String("\\t");
        else if (c < 0x100) out += QStringLiteral("\\x%1").arg(unsigned(c), 2, 16, QLatin1Char('0'));
        else out += QStringLiteral("\\u%1").arg(unsigned(c), 4, 16, QLatin1Char('0'));
    }
    return out;
}
