#include "relayexpression.h"

#include <QRegularExpression>
#include <QStringList>

#include "schematic.h"
#include "ts4820inst.h"

namespace {

int columnOfLetter(QChar letter)
{
    static const QString letters = QStringLiteral("XABCDY");
    return letters.indexOf(letter);
}

} // namespace

RelayExpression evaluateRelayExpression(const QString &text, int nRows)
{
    static const QRegularExpression allowed(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9a-dA-DxXyY\\-, ]+")));
    RelayExpression result;
    result.valid = allowed.match(text).hasMatch();

    QString normalised = text;
    normalised.remove(QLatin1Char(' '));
    normalised = normalised.toUpper();
    const QStringList items = normalised.split(QLatin1Char(','), Qt::KeepEmptyParts);
    for (const QString &item : items) {
        if (item.size() < 2) {
            result.valid = false;
            break;
        }
        const int column = columnOfLetter(item.at(0));
        if (column < 0) {
            result.valid = false;
            break;
        }
        const QStringList parts = item.mid(1).split(QLatin1Char('-'), Qt::KeepEmptyParts);
        if (parts.size() > 2) {
            result.valid = false;
            break;
        }
        int numbers[2] = {0, 0};
        for (int i = 0; i < parts.size(); ++i) {
            bool ok = false;
            numbers[i] = parts.at(i).toInt(&ok, 10);
            if (!ok) {
                result.valid = false;
                numbers[i] = 0;
            }
        }
        if (parts.size() == 1) {
            if (numbers[0] < 1 || numbers[0] > nRows) {
                result.valid = false;
                continue;
            }
            result.marks.append(QPoint(column, numbers[0] - 1));
            continue;
        }
        const int from = numbers[0];
        const int to = numbers[1];
        if (from < 1 || to < 1 || from > nRows || to > nRows) {
            result.valid = false;
            break;
        }
        for (int row = from; row <= to; ++row) {
            result.marks.append(QPoint(column, row - 1));
        }
    }
    return result;
}

bool showRelayExpression(Schematic &schematic, const QString &text)
{
    const RelayExpression expression = evaluateRelayExpression(text, schematic.instrument->nRows);
    schematic.clearMarks();
    schematic.repaint();
    schematic.setUpdatesEnabled(false);
    for (const QPoint &mark : expression.marks) {
        schematic.markRelay(mark.y(), mark.x());
    }
    schematic.setUpdatesEnabled(true);
    schematic.repaint();
    return expression.valid;
}
