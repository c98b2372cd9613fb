#include "matrixtext.h"

namespace matrixtext {

const signed char COL_MAGIC[6] = {0, 2, 3, 4, 5, 1};

namespace {
const int kCols = 6;
}

QVector<quint32> packRelays(const char *pattern, int nRows)
{
    QVector<quint32> words(wordCount(nRows), 0);
    for (int c = 0; c < kCols; ++c) {
        for (int r = 0; r < nRows; ++r) {
            if (pattern[r * kCols + c] != 0) {
                const int b = relayBit(r, c, nRows);
                words[b / 32] |= quint32(1) << (b % 32);
            }
        }
    }
    return words;
}

void unpackRelays(const QVector<quint32> &words, char *pattern, int nRows)
{
    for (int r = 0; r < nRows; ++r) {
        for (int c = 0; c < kCols; ++c) {
            const int b = relayBit(r, c, nRows);
            pattern[r * kCols + c] = char((words.value(b / 32) >> (b % 32)) & 1u);
        }
    }
}

QString wordsToHex(const QVector<quint32> &words)
{
    QStringList parts;
    parts.reserve(words.size());
    for (quint32 word : words) {
        parts << QStringLiteral("%1").arg(word, 8, 16, QLatin1Char('0'));
    }
    return parts.join(QLatin1Char(','));
}

bool hexToWords(const QString &text, int count, QVector<quint32> *words)
{
    const QStringList parts = text.split(QLatin1Char(','), Qt::KeepEmptyParts);
    if (parts.size() != count) {
        return false;
    }
    words->resize(count);
    for (int i = 0; i < count; ++i) {
        bool ok = false;
        const quint32 value = parts.at(i).toUInt(&ok, 16);
        (*words)[i] = ok ? value : 0;
    }
    return true;
}

int aliasIndex(int row, int col, int nRows)
{
    if (col == 0) {
        return row;
    }
    if (col == kCols - 1) {
        return nRows + row;
    }
    return 2 * nRows + col - 1;
}

AliasAssignment parseAliasLine(const QString &line, int nRows)
{
    AliasAssignment result;
    const QStringList parts = line.split(QLatin1Char('='), Qt::KeepEmptyParts);
    if (parts.size() != 2 || parts.at(0).isEmpty() || parts.at(0).size() > 4) {
        return result;
    }
    QString name = parts.at(0).toUpper();
    const QChar first = name.at(0);
    if (first >= QLatin1Char('A') && first <= QLatin1Char('D')) {
        // Bus names: only the letter counts.
        result.index = 2 * nRows + (first.unicode() - 'A');
    } else if (first == QLatin1Char('X') || first == QLatin1Char('Y')) {
        name.remove(QLatin1Char('X')).remove(QLatin1Char('Y'));
        const int number = name.toInt(); // not a number reads as 0
        if (number < 1 || number > nRows) {
            return result;
        }
        result.index = (first == QLatin1Char('X') ? 0 : nRows) + number - 1;
    } else {
        return result;
    }
    result.valid = true;
    result.text = parts.at(1);
    return result;
}

QStringList aliasLines(const QStringList &aliases, int nRows)
{
    QStringList lines;
    for (int i = 0; i < aliases.size() && i < 2 * nRows + 4; ++i) {
        if (aliases.at(i).isEmpty()) {
            continue;
        }
        QString name;
        if (i < nRows) {
            name = QLatin1Char('X') + QString::number(i + 1);
        } else if (i < 2 * nRows) {
            name = QLatin1Char('Y') + QString::number(i - nRows + 1);
        } else {
            name = QChar('A' + (i - 2 * nRows));
        }
        lines << name + QLatin1Char('=') + aliases.at(i);
    }
    return lines;
}

} // namespace matrixtext
