#include "ts4820inst.h"

#include <QBuffer>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "demostore.h"
#include "diagnostics.h"
#include "driverunit.h"
#include "matrixtext.h"
#include "presetfile.h"

namespace {

const double kDemoVoltages[] = {0.0,  9.0,   -9.0,  4.5,    -4.5,  0.9,    -0.9,   0.45,   -0.45,
                                0.09, -0.09, 0.045, -0.045, 0.009, -0.009, 0.0045, -0.0045};

} // namespace

ts4820inst::ts4820inst(ViSession vi, bool demo, int rows, const QString &subType)
    : nRows(rows), nCols(6), demo(demo), d_vi(vi), subType(subType)
{
    for (int i = 0; i < 2 * rows + 4; ++i) {
        aliases << QString();
    }
    if (demo) {
        m_unit = std::make_unique<DemoStore>(*this);
    } else {
        m_unit = std::make_unique<DriverUnit>(*this);
    }
}

ts4820inst::~ts4820inst() = default;

int ts4820inst::rowsForSubType(const QString &subType)
{
    return subType == QLatin1String("AA") || subType == QLatin1String("BA") ? 96 : 192;
}

void ts4820inst::setDemoVoltRef()
{
    voltRef.n = ViInt32(std::size(kDemoVoltages));
    for (int i = 0; i < voltRef.n; ++i) {
        voltRef.voltages[i] = kDemoVoltages[i];
    }
}

// ---- relay matrix --------------------------------------------------------

char ts4820inst::getState(int row, int col) const
{
    if (matrixState.isEmpty()) {
        return char(255);
    }
    const QByteArray &pattern = matrixState.last();
    const int relays = nRows * nCols;
    if (row == -1 && col == -1) {
        return pattern.at(relays + 4);
    }
    if (row == -1 && col >= 0 && col <= 3) {
        return pattern.at(relays + col);
    }
    if (row >= 0 && row < nRows && col >= 0 && col < nCols) {
        return pattern.at(row * nCols + col);
    }
    return char(255);
}

void ts4820inst::setState(int row, int col, char state)
{
    if (matrixState.isEmpty()) {
        diagnostic("setState - ERROR!\n");
        return;
    }
    const int relays = nRows * nCols;
    int index = -1;
    if (row == -1) {
        index = col == -1 ? relays + 4 : (col >= 0 && col <= 3 ? relays + col : -1);
    } else if (row >= 0 && row < nRows && col >= 0 && col < nCols) {
        index = row * nCols + col;
    }
    if (index >= 0) {
        matrixState.last()[index] = state;
    }
}

double ts4820inst::getVRefVoltage(int index) const
{
    return index >= 0 && index < voltRef.n ? voltRef.voltages[index] : 0.0;
}

int ts4820inst::getVRefIndex(double volts) const
{
    for (int i = 0; i < voltRef.n; ++i) {
        const double tolerance = std::max(0.001, std::fabs(voltRef.voltages[i] * 0.05));
        if (std::fabs(voltRef.voltages[i] - volts) <= tolerance) {
            return i;
        }
    }
    return 0;
}

QString ts4820inst::patternToHex(const char *pattern) const
{
    return matrixtext::wordsToHex(matrixtext::packRelays(pattern, nRows));
}

void ts4820inst::hexToPattern(char *pattern, const QString &text) const
{
    QVector<quint32> words;
    if (!matrixtext::hexToWords(text, matrixtext::wordCount(nRows, nCols), &words)) {
        diagnostic("Bad relays data!\n");
        std::fill(pattern, pattern + nRows * nCols, char(0));
        return;
    }
    matrixtext::unpackRelays(words, pattern, nRows);
}

// ---- aliases -------------------------------------------------------------

QStringList ts4820inst::aliasLines() const { return matrixtext::aliasLines(aliases, nRows); }

void ts4820inst::parseAliasLine(const QString &line)
{
    const matrixtext::AliasAssignment assignment = matrixtext::parseAliasLine(line, nRows);
    if (!assignment.valid) {
        diagnostic(QStringLiteral("Bad alias data: '%1'!\n").arg(line));
        return;
    }
    aliases[assignment.index] = assignment.text;
}

void ts4820inst::parseAliasLines(const QStringList &lines)
{
    for (const QString &line : lines) {
        parseAliasLine(line);
    }
}

// ---- synchronisation -----------------------------------------------------

void ts4820inst::setReporter(Reporter reporter) { m_reporter = std::move(reporter); }

void ts4820inst::report(ViStatus status, const char *callText) const
{
    if (status != VI_SUCCESS && m_reporter) {
        m_reporter(status, callText);
    }
}

void ts4820inst::readState()
{
    matrixState.clear();
    matrixState.append(QByteArray(patternSize(), char(0)));
    for (QString &alias : aliases) {
        alias.clear();
    }
    m_unit->readState(matrixState.last().data());
}

void ts4820inst::writeState()
{
    if (matrixState.isEmpty()) {
        return;
    }
    m_unit->writeState(matrixState.last().constData());
}

void ts4820inst::setAlias(int row, int col, const QString &txt) { m_unit->setAlias(row, col, txt); }

void ts4820inst::clearAliases(int col)
{
    const bool bus = col >= 1 && col <= 4;
    m_unit->clearAliases(col, bus ? 1 : nRows);
}

// ---- undo ----------------------------------------------------------------

void ts4820inst::addToUndoList()
{
    if (matrixState.isEmpty()) {
        diagnostic(
            QStringLiteral("%1: Shouldn't be here...\n").arg(QLatin1String("ts4820inst::addToUndoList")));
        return;
    }
    // A deep copy: edits of the new entry must never reach the older one.
    matrixState.append(QByteArray(matrixState.last().constData(), patternSize()));
    diagnostic(QStringLiteral("Added undo step #%1\n").arg(matrixState.size()));
}

bool ts4820inst::undo()
{
    if (matrixState.size() > 1) {
        matrixState.removeLast();
    }
    diagnostic(QStringLiteral("Undo #%1\n").arg(matrixState.size()));
    return matrixState.size() > 1;
}

// ---- presets -------------------------------------------------------------

QStringList ts4820inst::getPresetList() { return m_unit->presetNames(); }

void ts4820inst::storePreset(const QString &name) { m_unit->storePreset(name); }

void ts4820inst::restorePreset(const QString &name) { m_unit->restorePreset(name); }

void ts4820inst::removePreset(const QString &name) { m_unit->removePreset(name); }

QString ts4820inst::getDefaultPresetName() { return m_unit->currentPresetName(); }

void ts4820inst::clearCurrentPresetName() { m_unit->clearCurrentPresetName(); }

// ---- preset files --------------------------------------------------------

bool ts4820inst::savePresetToFile(const QString &name, const QString &path)
{
    return m_unit->savePresetToFile(name, path);
}

qint8 ts4820inst::parsePresetFile(const QString &path, QString &configName, QString &relays, double &voltage,
                                  bool &busA, bool &busB, bool &busC, bool &busD, QStringList &aliasList)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return presetfile::CannotOpen;
    }
    // Read bounded: a device file or a huge one must not fill the memory.
    QByteArray data = file.read(presetfile::kMaxFileSize + 1);
    if (data.size() > presetfile::kMaxFileSize) {
        return presetfile::CannotOpen;
    }
    QBuffer text(&data);
    text.open(QIODevice::ReadOnly);
    presetfile::Preset preset;
    const presetfile::ParseOutcome outcome =
        presetfile::parse(text, matrixtext::wordCount(nRows, nCols), &preset);
    if (outcome.result != presetfile::Ok) {
        diagnostic(QStringLiteral("%1_%2: syntax error at line: '%3'\n")
                       .arg(QLatin1String("ts4820inst::parsePresetFile"))
                       .arg(outcome.check)
                       .arg(outcome.line));
        return outcome.result;
    }
    configName = preset.name;
    relays = preset.relays;
    voltage = preset.volts;
    busA = preset.bus[0];
    busB = preset.bus[1];
    busC = preset.bus[2];
    busD = preset.bus[3];
    aliasList = preset.aliasLines;
    return presetfile::Ok;
}

qint8 ts4820inst::loadPresetFromFile(const QString &path) { return m_unit->loadPresetFromFile(path); }
