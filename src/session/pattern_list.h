#pragma once
// Patterns as an operator names them: by number ("7", "112"), by id
// ("classic-07", "gamma") and, in a list, by ranges of numbers ("42-45")
// and group names ("inversion"), comma-separated. Every error is one line
// naming the item it could not read.

#include <QString>

#include <cstdint>
#include <vector>

// The number of the pattern `item` names, a number of the table or a
// pattern's id (case aside, spaces around it ignored); 0, with `error`
// set, when it names none.
int16_t ResolvePattern(const QString& item, QString* error);

// The patterns a list names, in its order, repeats kept: numbers, ranges
// N-M (every pattern numbered from N to M; both ends must be patterns),
// ids and group names, separated by commas, e.g. "3,gamma,120-121,checker-2".
// False, with `error` naming the first item that names no pattern.
bool ParsePatternList(const QString& text, std::vector<int16_t>* patterns, QString* error);
