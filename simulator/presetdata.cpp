#include "presetdata.h"

#include "scpi.h"

#include <QHash>

#include <cmath>
#include <cstdio>

namespace sim {

QList<double> standardVoltageTable()
{
    return {0.0,  9.0,   -9.0,  4.5,    -4.5,  0.9,    -0.9,   0.45,   -0.45,
            0.09, -0.09, 0.045, -0.045, 0.009, -0.009, 0.0045, -0.0045};
}

int matchVoltage(const QList<double> &table, double volts)
{
    for (int i = 0; i < table.size(); ++i) {
        if (std::fabs(volts - table[i]) <= std::max(0.001, 0.05 * std::fabs(table[i]))) {
            return i;
        }
    }
    return -1;
}

QByteArray lineName(int index, int rows)
{
    if (index < rows) {
        return 'X' + QByteArray::number(index + 1);
    }
    if (index < 2 * rows) {
        return 'Y' + QByteArray::number(index - rows + 1);
    }
    return QByteArray(1, char('A' + index - 2 * rows));
}

int parseLine(const QByteArray &text, int rows, int *index)
{
    const QByteArray t = text.toUpper();
    if (t.size() == 1 && t[0] >= 'A' && t[0] <= 'D') {
        *index = 2 * rows + (t[0] - 'A');
        return NoError;
    }
    if (t.size() < 2 || (t[0] != 'X' && t[0] != 'Y')) {
        return IllegalParameterValue;
    }
    QByteArray digits = t.mid(1);
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return IllegalParameterValue;
        }
    }
    while (digits.size() > 1 && digits.startsWith('0')) {
        digits.remove(0, 1);
    }
    const int row = digits.size() > 4 ? 0 : digits.toInt();
    if (row < 1 || row > rows) {
        return DataOutOfRange;
    }
    *index = (t[0] == 'X' ? 0 : rows) + row - 1;
    return NoError;
}

int checkNameText(const QByteArray &text)
{
    for (char c : text) {
        if (c < 0x20 || c > 0x7e || c == '\'' || c == '"' || c == ',' || c == '`' || c == '=') {
            return InvalidStringData;
        }
    }
    return text.size() > kMaxNameText ? TooMuchData : NoError;
}

int checkPresetName(const QByteArray &name)
{
    if (name.isEmpty()) {
        return InvalidStringData;
    }
    for (char c : name) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'
              || c == '_')) {
            return InvalidStringData;
        }
    }
    return name.size() > kMaxPresetName ? TooMuchData : NoError;
}

QByteArray aliasCatalogue(const QList<QByteArray> &names, int rows)
{
    QByteArrayList lines;
    for (int i = 0; i < names.size(); ++i) {
        if (!names[i].isEmpty()) {
            lines.append(lineName(i, rows) + '=' + names[i]);
        }
    }
    return lines.join(',');
}

QByteArray presetData(const QByteArray &name, const Configuration &config, int rows)
{
    QByteArrayList words;
    for (quint32 w : config.relays) {
        words.append(formatHexWord(w));
    }
    char volts[64];
    std::snprintf(volts, sizeof volts, "%.6f", config.volts);
    QByteArray data = "configname=" + name + "\nmainrelays=" + words.join(',') + "\nvrefvolt=" + volts
                      + "\nvrefrelays=" + QByteArray::number(config.links, 16);
    const QByteArray aliases = aliasCatalogue(config.names, rows);
    if (!aliases.isEmpty()) {
        data += "\n==alias==\n" + QByteArray(aliases).replace(',', '\n');
    }
    return data;
}

int parsePresetData(const QByteArray &data, int rows, const QList<double> &table, QByteArray *name,
                    Configuration *config)
{
    QByteArrayList lines = data.split('\n');
    if (lines.size() > 1 && lines.last().isEmpty()) {
        lines.removeLast(); // one line end at the very end
    }
    QHash<QByteArray, QByteArray> keys;
    qsizetype i = 0;
    for (; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (line == "==alias==") {
            break;
        }
        if (line.count('=') != 1) {
            return InvalidBlockData;
        }
        const qsizetype eq = line.indexOf('=');
        keys.insert(line.left(eq), line.mid(eq + 1));
    }
    Configuration c(rows);
    if (!keys.contains("configname") || checkPresetName(keys["configname"]) != NoError) {
        return InvalidBlockData;
    }
    const QByteArrayList words = keys.value("mainrelays").split(',');
    if (!keys.contains("mainrelays") || words.size() != wordsForRows(rows)) {
        return InvalidBlockData;
    }
    for (int w = 0; w < words.size(); ++w) {
        if (!isHexWord(words[w], &c.relays[w])) {
            return InvalidBlockData;
        }
    }
    if (keys.contains("vrefvolt")) {
        double volts = 0;
        if (!isReal(keys["vrefvolt"], &volts)) {
            return InvalidBlockData;
        }
        if (!table.isEmpty()) {
            const int entry = matchVoltage(table, volts);
            if (entry < 0) {
                return InvalidBlockData;
            }
            c.volts = table[entry];
        }
    }
    if (keys.contains("vrefrelays")) {
        const QByteArray mask = keys["vrefrelays"];
        bool ok = false;
        const int links = mask.toInt(&ok, 16);
        if (!ok || mask.size() != 1) {
            return InvalidBlockData;
        }
        c.links = quint8(links);
    }
    for (++i; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (line.isEmpty()) {
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        int index = 0;
        if (eq < 0 || parseLine(line.left(eq), rows, &index) != NoError
            || checkNameText(line.mid(eq + 1)) != NoError) {
            return InvalidBlockData;
        }
        c.names[index] = line.mid(eq + 1);
    }
    *name = keys["configname"];
    *config = c;
    return NoError;
}

} // namespace sim
