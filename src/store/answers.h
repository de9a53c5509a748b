#pragma once
// The questions' answers as text: an aligned table for a person (every
// text from the store escaped by PrintableText, nothing cut), CSV with one
// header line, or JSON.

#include "store/store_questions.h"

#include <QString>
#include <QStringList>

#include <vector>

enum class AnswerFormat { Text, Csv, Json };

// "text", "csv", "json"; false for anything else.
bool ParseAnswerFormat(const QString& text, AnswerFormat* format);

// Rows of cells (the first is the header) as lines of aligned columns,
// two spaces apart; columns named in `rightAligned` (by index) are
// right-aligned. Every cell is made printable first.
QStringList TextTable(const std::vector<QStringList>& rows, const std::vector<int>& rightAligned);

// One CSV line: a cell with a comma, quote or line break is quoted.
QString CsvLine(const QStringList& cells);

// A panel's history in the format.
QStringList HistoryAnswer(const QString& serial, const std::vector<HistoryRow>& rows, AnswerFormat format);

// The line's statistics in the format.
QStringList StatsAnswer(const LineStats& stats, AnswerFormat format);

// What --heatmap drew, in the format.
QStringList HeatmapAnswer(const QString& file, const HeatmapFigures& figures, const QString& filter,
                          AnswerFormat format);

// "I" to "IV", or "-" when no class is reached.
QString ClassText(const std::optional<int>& faultClass);
