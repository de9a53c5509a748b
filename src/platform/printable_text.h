#pragma once
// Text from outside the program (a record file, a journal, a monitor's
// EDID, a database) made safe to print on a terminal or in a log: no byte
// of it can move the cursor, change colours, start a new line or turn the
// writing direction, so it cannot forge or hide a line of the program's own.

#include <QString>

// `text` with every control character escaped: \n, \r and \t as such, other
// C0 and C1 controls and DEL as \xNN, and the Unicode line and paragraph
// separators and direction overrides and isolates as \uNNNN. A backslash
// stays as it is; everything else is unchanged.
QString PrintableText(const QString& text);
