#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// Text forms of the relay matrix, as plain functions over text so that
// tests and fuzz targets can call them without a window or an instrument.
namespace matrixtext {

// Display column c (0..5 = X, A, B, C, D, Y) to the driver's 0-based line
// group (0 = X, 1 = Y, 2..5 = A..D).
extern const signed char COL_MAGIC[6];

inline int wordCount(int nRows, int nCols = 6) { return nRows * nCols / 32; }
// Bit of relay (row, display column) in the packed pattern.
inline int relayBit(int row, int col, int nRows) { return COL_MAGIC[col] * nRows + row; }

// Packs the relay part of a state pattern (nRows * 6 entries, non-zero =
// closed) into words.
QVector<quint32> packRelays(const char *pattern, int nRows);
// Unpacks words into the relay part of a state pattern (0 or 1 per entry).
void unpackRelays(const QVector<quint32> &words, char *pattern, int nRows);

// Words as "%08x" joined by ",".
QString wordsToHex(const QVector<quint32> &words);
// The reverse; false when the number of parts is not `count`. A part that
// is not a hexadecimal number counts as 0.
bool hexToWords(const QString &text, int count, QVector<quint32> *words);

// Index into the alias list (X1..Xn, Y1..Yn, A..D) of the line at
// (row, display column); the row is ignored for the bus columns 1..4.
int aliasIndex(int row, int col, int nRows);

// One alias line "NAME=text" resolved against a unit of nRows rows.
struct AliasAssignment
{
    bool valid = false;
    int index = -1; // into the alias list
    QString text;   // may be empty: clears the alias
};
AliasAssignment parseAliasLine(const QString &line, int nRows);
// The non-empty entries of an alias list as alias lines, in index order.
QStringList aliasLines(const QStringList &aliases, int nRows);

} // namespace matrixtext
