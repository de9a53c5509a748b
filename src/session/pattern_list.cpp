#include "session/pattern_list.h"

#include "session/dispatcher.h"

#include <QRegularExpression>

namespace {

// A number as written, at most 9 digits; -1 when it has more.
int ReadNumber(const QString& digits) {
    if (digits.size() > 9) return -1;
    bool ok = false;
    const int n = digits.toInt(&ok, 10);
    return ok ? n : -1;
}

bool IsPattern(int n) { return n >= 1 && n <= 32767 && FindPattern(static_cast<int16_t>(n)) != nullptr; }

// Why `item` is no pattern, for the number `n` of it that is none: below
// the extended patterns, it was meant for the classic sequence.
QString OutOfRange(const QString& item, int n) {
    if (n >= 0 && n < kFirstExtendedPattern)
        return QStringLiteral("pattern %1 is out of range: the patterns are 1 to %2").arg(item).arg(kPatternCount);
    return QStringLiteral("pattern %1 is out of range: the extended and motion patterns are %2 to %3")
        .arg(item)
        .arg(kFirstExtendedPattern)
        .arg(kLastMotionPattern);
}

QString Malformed(const QString& item) {
    return QStringLiteral("malformed pattern '%1': expected a number N or a range N-M").arg(item);
}

QString Unknown(const QString& item) {
    return QStringLiteral("unknown pattern '%1': no pattern has this id and no group this name").arg(item);
}

// What one item of a list is, read but not yet looked up.
struct Item {
    enum class Kind { Numbers, Name, Malformed } kind = Kind::Malformed;
    int first = 0, last = 0; // Numbers: a number (first == last) or a range
    bool range = false;
    QString name;            // Name: lower case
};

Item ReadItem(const QString& text) {
    Item item;
    const QRegularExpression numbers(QStringLiteral("^([0-9]+)(?:-([0-9]+))?$"));
    const QRegularExpression name(QStringLiteral("^[a-z][a-z0-9-]*$"), QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch m = numbers.match(text); m.hasMatch()) {
        item.kind = Item::Kind::Numbers;
        item.range = m.hasCaptured(2);
        item.first = ReadNumber(m.captured(1));
        item.last = item.range ? ReadNumber(m.captured(2)) : item.first;
    } else if (name.match(text).hasMatch()) {
        item.kind = Item::Kind::Name;
        item.name = text.toLower();
    }
    return item;
}

const PatternInfo* FindId(const QString& id) {
    for (const PatternInfo& p : AllPatterns())
        if (id == QLatin1String(p.id)) return &p;
    return nullptr;
}

const PatternGroup* FindGroup(const QString& name) {
    for (const PatternGroup& g : PatternGroups())
        if (name == QLatin1String(g.name)) return &g;
    return nullptr;
}

// Appends the patterns of the table numbered first to last.
void AppendRun(int first, int last, std::vector<int16_t>* patterns) {
    for (const PatternInfo& p : AllPatterns())
        if (p.number >= first && p.number <= last) patterns->push_back(p.number);
}

} // namespace

int16_t ResolvePattern(const QString& text, QString* error) {
    const QString trimmed = text.trimmed();
    const Item item = ReadItem(trimmed);
    switch (item.kind) {
    case Item::Kind::Numbers:
        if (item.range) {
            *error = QStringLiteral("'%1' is a range: name one pattern").arg(trimmed);
            return 0;
        }
        if (!IsPattern(item.first)) {
            *error = OutOfRange(trimmed, item.first);
            return 0;
        }
        return static_cast<int16_t>(item.first);
    case Item::Kind::Name:
        if (const PatternInfo* p = FindId(item.name)) return p->number;
        if (FindGroup(item.name)) {
            *error = QStringLiteral("'%1' is a group of patterns: name one pattern").arg(trimmed);
            return 0;
        }
        *error = Unknown(trimmed);
        return 0;
    case Item::Kind::Malformed: break;
    }
    *error = Malformed(trimmed);
    return 0;
}

bool ParsePatternList(const QString& text, std::vector<int16_t>* patterns, QString* error) {
    patterns->clear();
    for (const QString& piece : text.split(QLatin1Char(','))) {
        const QString trimmed = piece.trimmed();
        const Item item = ReadItem(trimmed);
        switch (item.kind) {
        case Item::Kind::Numbers:
            if (!IsPattern(item.first) || !IsPattern(item.last)) {
                *error = OutOfRange(trimmed, IsPattern(item.first) ? item.last : item.first);
                return false;
            }
            if (item.first > item.last) {
                *error = QStringLiteral("pattern range %1 is reversed: write the lower number first").arg(trimmed);
                return false;
            }
            AppendRun(item.first, item.last, patterns);
            continue;
        case Item::Kind::Name:
            if (const PatternGroup* g = FindGroup(item.name)) {
                AppendRun(g->first, g->last, patterns);
                continue;
            }
            if (const PatternInfo* p = FindId(item.name)) {
                patterns->push_back(p->number);
                continue;
            }
            *error = Unknown(trimmed);
            return false;
        case Item::Kind::Malformed: break;
        }
        *error = Malformed(trimmed);
        return false;
    }
    return true;
}
