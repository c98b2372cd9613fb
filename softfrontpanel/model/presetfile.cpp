#include "presetfile.h"

#include <QIODevice>
#include <QRegularExpression>

namespace presetfile {

namespace {

const char *const kAliasMarker = "==alias==";

ParseOutcome failure(Result result, int check, const QString &line)
{
    ParseOutcome outcome;
    outcome.result = result;
    outcome.check = check;
    outcome.line = line;
    return outcome;
}

} // namespace

bool isPresetName(const QString &name)
{
    static const QRegularExpression rule(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9a-zA-Z\\-_]{1,63}")));
    return rule.match(name).hasMatch();
}

ParseOutcome parse(QIODevice &in, int wordCount, Preset *preset)
{
    bool inAliases = false;
    while (!in.atEnd()) {
        QString line = QString::fromUtf8(in.readLine()); // as write() wrote it
        line.remove(QLatin1String("\r\n")).remove(QLatin1Char('\n'));
        if (inAliases) {
            preset->aliasLines << line;
            continue;
        }
        if (line == QLatin1String(kAliasMarker)) {
            inAliases = true;
            continue;
        }
        const QStringList parts = line.split(QLatin1Char('='), Qt::KeepEmptyParts);
        if (parts.size() != 2) {
            return failure(BadLine, 529, line);
        }
        const QString &key = parts.at(0);
        const QString &value = parts.at(1);
        if (key == QLatin1String("configname")) {
            preset->name = value;
        } else if (key == QLatin1String("mainrelays")) {
            if (value.split(QLatin1Char(','), Qt::KeepEmptyParts).size() != wordCount) {
                return failure(BadRelayCount, 549, line);
            }
            preset->relays = value;
        } else if (key == QLatin1String("vrefvolt")) {
            preset->volts = value.toDouble(); // not a number reads as 0.0
        } else if (key == QLatin1String("vrefrelays")) {
            bool ok = false;
            const uint mask = value.toUInt(&ok, 16);
            if (!ok || mask > 15) {
                return failure(BadBusMask, 568, line);
            }
            for (int i = 0; i < 4; ++i) {
                preset->bus[i] = (mask >> i) & 1u;
            }
        }
    }
    return ParseOutcome();
}

void write(QIODevice &out, const Preset &preset)
{
    uint mask = 0;
    for (int i = 0; i < 4; ++i) {
        mask |= preset.bus[i] ? (1u << i) : 0u;
    }
    // Names and line names in UTF-8, which write and read alike whatever the
    // locale, so that any name the panel takes comes back as it went.
    QByteArray bytes;
    bytes += "configname=" + preset.name.toUtf8() + '\n';
    bytes += "mainrelays=" + preset.relays.toLatin1() + '\n';
    bytes += QString::asprintf("vrefvolt=%lf\n", preset.volts).toLatin1();
    bytes += QString::asprintf("vrefrelays=%x", mask).toLatin1();
    if (!preset.aliasLines.isEmpty()) {
        bytes += QByteArray("\n") + kAliasMarker + '\n';
        bytes += preset.aliasLines.join(QLatin1Char('\n')).toUtf8();
    }
    out.write(bytes);
}

} // namespace presetfile
