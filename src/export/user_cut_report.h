#pragma once

#include <QList>
#include <QString>

class QTextStream;

// Name of the study report, written in the working directory.
constexpr const char* kUserCutReportName = "usercuts-stats.html";

// Writes the study table as an HTML page: a header row of column labels,
// then one row per numerator row, headed by its row label (an empty cell when
// there are fewer labels than rows). Cell c of row r reads "a / b" with
// a = numerators[r][c] and b = denominators[r][c], on a background from white
// (a = 0) to pure red (a = b): #FF then twice 255 - floor(255 a / b) in hex.
// A cell with b = 0 (or a missing denominator, taken as 0) is white; ratios
// outside 0 .. 1 are clamped to white and red. A negative count (a user
// without a cut file for that model) gives an empty cell "<td></td>", so
// every later cell stays under its own column label. Labels are HTML-escaped.
void writeUserCutTable(QTextStream& out, const QList<QList<int>>& numerators, const QList<QList<int>>& denominators,
                       const QList<QString>& rowLabels, const QList<QString>& columnLabels);

// Writes the table to `path` so that the file appears only when complete:
// a failure leaves any previous report untouched. Returns true on success,
// otherwise logs a debug line and returns false.
bool saveUserCutReport(const QString& path, const QList<QList<int>>& numerators, const QList<QList<int>>& denominators,
                       const QList<QString>& rowLabels, const QList<QString>& columnLabels);
