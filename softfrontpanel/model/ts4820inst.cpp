#include "ts4820inst.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>
#include <QSettings>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "diagnostics.h"
#include "driverstatus.h"
#include "matrixtext.h"
#include "presetfile.h"
#include "settingsstore.h"
#include "ts4820.h"

using matrixtext::COL_MAGIC;

namespace {

const char *const kCurrent = "{current}";
const double kDemoVoltages[] = {0.0,   9.0,    -9.0,  4.5,   -4.5,   0.9,    -0.9,   0.45,   -0.45,
                                0.09,  -0.09,  0.045, -0.045, 0.009, -0.009, 0.0045, -0.0045};

void writeBusLinks(QSettings &store, const char *pattern)
{
    for (int i = 0; i < 4; ++i) {
        store.setValue(QStringLiteral("VRef/Bus%1").arg(QChar('A' + i)), int(pattern[i]));
    }
}

void readPresetGroup(QSettings &store, QString *relays, QStringList *aliasList, float *volts,
                     bool bus[4])
{
    *relays = store.value(QStringLiteral("Relays")).toString();
    *aliasList = store.value(QStringLiteral("Alias")).toStringList();
    *volts = store.value(QStringLiteral("VRef/Voltage")).toFloat();
    for (int i = 0; i < 4; ++i) {
        bus[i] = store.value(QStringLiteral("VRef/Bus%1").arg(QChar('A' + i))).toBool();
    }
}

bool isStorableName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) &&
           !name.contains(QLatin1Char('\\')) && name != QLatin1String(kCurrent);
}

} // namespace

ts4820inst::ts4820inst(ViSession vi, bool demo, int rows, const QString &subType)
    : nRows(rows), nCols(6), demo(demo), d_vi(vi), subType(subType)
{
    for (int i = 0; i < 2 * rows + 4; ++i) {
        aliases << QString();
    }
}

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

QStringList ts4820inst::aliasLines() const
{
    return matrixtext::aliasLines(aliases, nRows);
}

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

void ts4820inst::reportBadAliasLines(const QStringList &lines) const
{
    for (const QString &line : lines) {
        if (!matrixtext::parseAliasLine(line, nRows).valid) {
            diagnostic(QStringLiteral("Bad alias data: '%1'!\n").arg(line));
        }
    }
}

// ---- synchronisation -----------------------------------------------------

QString ts4820inst::groupOf(const QString &presetName) const
{
    return subType + QLatin1String("/Presets/") + presetName;
}

void ts4820inst::markEdited(QSettings &store) const
{
    store.setValue(subType + QLatin1String("/Presets/CurrentPresetEdited"), true);
}

void ts4820inst::writeCurrentAliases(QSettings &store) const
{
    store.setValue(groupOf(QLatin1String(kCurrent)) + QLatin1String("/Alias"), aliasLines());
}

void ts4820inst::readState()
{
    matrixState.clear();
    matrixState.append(QByteArray(patternSize(), char(0)));
    for (QString &alias : aliases) {
        alias.clear();
    }
    char *pattern = matrixState.last().data();
    if (demo) {
        readDemoState(pattern);
    } else {
        readDeviceState(pattern);
    }
}

void ts4820inst::readDeviceState(char *pattern)
{
    const int relays = nRows * nCols;
    // Cleared first, so a failed read shows open relays rather than noise.
    QVector<ViInt32> words(matrixtext::wordCount(nRows, nCols), 0);
    reportDriverStatus(d_vi, ts4820_getMatrixState(d_vi, words.data()),
                       "ts4820_getMatrixState(d_vi, (ViInt32*)pattern)");
    matrixtext::unpackRelays(QVector<quint32>(words.cbegin(), words.cend()), pattern, nRows);

    QByteArray aliasBuffer(ts4820_ALIAS_BUFFER_SIZE(nRows), '\0');
    reportDriverStatus(d_vi, ts4820_getAlias(d_vi, 0, 0, aliasBuffer.data()),
                       "ts4820_getAlias(d_vi, 0, 0, aliases)");
    aliasBuffer[aliasBuffer.size() - 1] = '\0';
    const QString aliasText = QString::fromLatin1(aliasBuffer.constData());
    if (!aliasText.isEmpty()) {
        parseAliasLines(aliasText.split(QLatin1Char(','), Qt::KeepEmptyParts));
    }

    if (voltRef.n > 0) {
        ViReal64 voltage = 0.0;
        reportDriverStatus(d_vi, ts4820_getVoltRefOutput(d_vi, &voltage),
                           "ts4820_getVoltRefOutput(d_vi, &voltage)");
        pattern[relays + 4] = char(getVRefIndex(voltage));
    } else {
        pattern[relays + 4] = 0;
    }
    for (int i = 0; i < 4; ++i) {
        ViBoolean state = VI_FALSE;
        reportDriverStatus(d_vi, ts4820_getVoltRefConnectionState(d_vi, ts4820_LINE_A + i, &state),
                           "ts4820_getVoltRefConnectionState(d_vi, ts4820_LINE_A+i, &state)");
        pattern[relays + i] = state ? 1 : 0;
    }
}

void ts4820inst::readDemoState(char *pattern)
{
    const int relays = nRows * nCols;
    QSettings store(settingsstore::organisation(), settingsstore::application());
    store.beginGroup(groupOf(QLatin1String(kCurrent)));
    const QString relayText = store.value(QStringLiteral("Relays")).toString();
    const QStringList aliasList = store.value(QStringLiteral("Alias")).toStringList();
    const double voltage = store.value(QStringLiteral("VRef/Voltage")).toDouble();
    pattern[relays + 4] = char(getVRefIndex(voltage));
    for (int i = 0; i < 4; ++i) {
        pattern[relays + i] =
            store.value(QStringLiteral("VRef/Bus%1").arg(QChar('A' + i))).toBool() ? 1 : 0;
    }
    store.endGroup();
    hexToPattern(pattern, relayText);
    parseAliasLines(aliasList);
}

void ts4820inst::writeState()
{
    if (matrixState.isEmpty()) {
        return;
    }
    const char *pattern = matrixState.last().constData();
    const int relays = nRows * nCols;
    if (demo) {
        QSettings store(settingsstore::organisation(), settingsstore::application());
        markEdited(store);
        store.beginGroup(groupOf(QLatin1String(kCurrent)));
        store.setValue(QStringLiteral("Relays"), patternToHex(pattern));
        store.setValue(QStringLiteral("VRef/Voltage"), getVRefVoltage(pattern[relays + 4]));
        writeBusLinks(store, pattern + relays);
        store.endGroup();
        markEdited(store);
        return;
    }
    const QVector<quint32> packed = matrixtext::packRelays(pattern, nRows);
    QVector<ViInt32> words(packed.cbegin(), packed.cend());
    reportDriverStatus(d_vi, ts4820_setMatrixState(d_vi, words.data()),
                       "ts4820_setMatrixState(d_vi, (ViInt32*)pattern)");
    for (int i = 0; i < 4; ++i) {
        reportDriverStatus(
            d_vi, ts4820_setVoltRefConnectionState(d_vi, ts4820_LINE_A + i, pattern[relays + i]),
            "ts4820_setVoltRefConnectionState(d_vi, ts4820_LINE_A+i, "
            "matrixState.last()[nRows*nCols+i])");
    }
    if (voltRef.n >= 1) {
        reportDriverStatus(d_vi, ts4820_setVoltRefOutput(d_vi, getVRefVoltage(pattern[relays + 4])),
                           "ts4820_setVoltRefOutput(d_vi, "
                           "getVRefVoltage(matrixState.last()[nRows*nCols+4]))");
    }
}

void ts4820inst::setAlias(int row, int col, const QString &txt)
{
    if (!demo) {
        reportDriverStatus(
            d_vi, ts4820_setAlias(d_vi, COL_MAGIC[col] + 1, row + 1, txt.toLatin1().constData()),
            "ts4820_setAlias(d_vi, COL_MAGIC[col]+1, row+1, txt.toAscii().data())");
        return;
    }
    aliases[matrixtext::aliasIndex(row, col, nRows)] = txt;
    QSettings store(settingsstore::organisation(), settingsstore::application());
    markEdited(store);
    writeCurrentAliases(store);
}

void ts4820inst::clearAliases(int col)
{
    const bool bus = col >= 1 && col <= 4;
    const int rows = bus ? 1 : nRows;
    for (int r = 0; r < rows; ++r) {
        if (demo) {
            aliases[matrixtext::aliasIndex(r, col, nRows)].clear();
        } else {
            reportDriverStatus(d_vi, ts4820_setAlias(d_vi, COL_MAGIC[col] + 1, r + 1, ""),
                               "ts4820_setAlias(d_vi, COL_MAGIC[col]+1, r+1, (char*)\"\")");
        }
    }
    if (demo) {
        QSettings store(settingsstore::organisation(), settingsstore::application());
        markEdited(store);
        writeCurrentAliases(store);
    }
}

// ---- undo ----------------------------------------------------------------

void ts4820inst::addToUndoList()
{
    if (matrixState.isEmpty()) {
        diagnostic(QStringLiteral("%1: Shouldn't be here...\n")
                       .arg(QLatin1String("ts4820inst::addToUndoList")));
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

QStringList ts4820inst::getPresetList()
{
    QStringList names;
    if (demo) {
        QSettings store(settingsstore::organisation(), settingsstore::application());
        store.beginGroup(subType + QLatin1String("/Presets"));
        names = store.childGroups();
        names.removeAll(QLatin1String(kCurrent));
        return names;
    }
    ViInt32 n = 0;
    reportDriverStatus(d_vi, ts4820_getPresetList(d_vi, &n), "ts4820_getPresetList(d_vi, &n)");
    for (ViInt32 i = 0; i < n; ++i) {
        char name[ts4820_PRESET_NAME_BUFFER_SIZE] = {};
        const ViStatus status = reportDriverStatus(d_vi, ts4820_getPresetFromList(d_vi, i, name),
                                                   "ts4820_getPresetFromList(d_vi, i, name)");
        // A name that could not be read is left out rather than guessed.
        if (status < 0) {
            continue;
        }
        name[sizeof name - 1] = '\0';
        names << QString::fromLatin1(name);
    }
    return names;
}

void ts4820inst::storePreset(const QString &name)
{
    if (!demo) {
        reportDriverStatus(d_vi, ts4820_storePreset(d_vi, name.toLatin1().constData()),
                           "ts4820_storePreset(d_vi, name.toAscii().data())");
        return;
    }
    if (matrixState.isEmpty()) {
        return;
    }
    const char *pattern = matrixState.last().constData();
    const int relays = nRows * nCols;
    QSettings store(settingsstore::organisation(), settingsstore::application());
    store.beginGroup(groupOf(name));
    store.setValue(QStringLiteral("Relays"), patternToHex(pattern));
    store.setValue(QStringLiteral("Alias"), aliasLines());
    store.setValue(QStringLiteral("VRef/Voltage"), getVRefVoltage(pattern[relays + 4]));
    writeBusLinks(store, pattern + relays);
    store.endGroup();
    if (name != QLatin1String(kCurrent)) {
        store.setValue(subType + QLatin1String("/Presets/CurrentPresetName"), name);
        store.setValue(subType + QLatin1String("/Presets/CurrentPresetEdited"), false);
    }
}

void ts4820inst::restorePreset(const QString &name)
{
    if (!demo) {
        reportDriverStatus(d_vi, ts4820_restorePreset(d_vi, name.toLatin1().constData()),
                           "ts4820_restorePreset(d_vi, name.toAscii().data())");
        if (voltRef.n >= 1) {
            ViReal64 voltage = 0.0;
            reportDriverStatus(d_vi, ts4820_getVoltRefOutput(d_vi, &voltage),
                               "ts4820_getVoltRefOutput(d_vi, &voltage)");
            diagnostic(QString::asprintf(
                "BUG? VREF voltage immediatelly after ts4820_restorePreset() : %lf\n", voltage));
        }
        return;
    }
    QSettings store(settingsstore::organisation(), settingsstore::application());
    QString relays;
    QStringList aliasList;
    float volts = 0.0f;
    bool bus[4] = {};
    store.beginGroup(groupOf(name));
    readPresetGroup(store, &relays, &aliasList, &volts, bus);
    store.endGroup();

    store.beginGroup(groupOf(QLatin1String(kCurrent)));
    store.setValue(QStringLiteral("Relays"), relays);
    store.setValue(QStringLiteral("Alias"), aliasList);
    store.setValue(QStringLiteral("VRef/Voltage"), double(volts));
    for (int i = 0; i < 4; ++i) {
        store.setValue(QStringLiteral("VRef/Bus%1").arg(QChar('A' + i)), bus[i]);
    }
    store.endGroup();
    if (name != QLatin1String(kCurrent)) {
        store.setValue(subType + QLatin1String("/Presets/CurrentPresetName"), name);
        store.setValue(subType + QLatin1String("/Presets/CurrentPresetEdited"), false);
    }
}

void ts4820inst::removePreset(const QString &name)
{
    if (!demo) {
        reportDriverStatus(d_vi, ts4820_removePreset(d_vi, name.toLatin1().constData()),
                           "ts4820_removePreset(d_vi, name.toAscii().data())");
        return;
    }
    QSettings store(settingsstore::organisation(), settingsstore::application());
    store.beginGroup(subType + QLatin1String("/Presets"));
    store.remove(name);
    store.endGroup();
}

QString ts4820inst::getDefaultPresetName()
{
    if (!demo) {
        char name[ts4820_PRESET_NAME_BUFFER_SIZE] = {};
        reportDriverStatus(d_vi, ts4820_getDefaultPresetName(d_vi, name),
                           "ts4820_getDefaultPresetName(d_vi, name)");
        name[sizeof name - 1] = '\0';
        return QString::fromLatin1(name);
    }
    QSettings store(settingsstore::organisation(), settingsstore::application());
    const QString prefix = subType + QLatin1String("/Presets/");
    const QString name = store.value(prefix + QLatin1String("CurrentPresetName")).toString();
    const bool edited = store.value(prefix + QLatin1String("CurrentPresetEdited")).toBool();
    return edited ? name + QLatin1Char('*') : name;
}

void ts4820inst::clearCurrentPresetName()
{
    if (!demo) {
        return;
    }
    QSettings store(settingsstore::organisation(), settingsstore::application());
    const QString prefix = subType + QLatin1String("/Presets/");
    store.setValue(prefix + QLatin1String("CurrentPresetName"), QString());
    store.setValue(prefix + QLatin1String("CurrentPresetEdited"), false);
}

// ---- preset files --------------------------------------------------------

bool ts4820inst::savePresetToFile(const QString &name, const QString &path)
{
    if (!demo) {
        reportDriverStatus(d_vi,
                           ts4820_savePresetToFile(d_vi, name.toLatin1().constData(),
                                                   path.toLocal8Bit().constData()),
                           "ts4820_savePresetToFile(d_vi, name.toAscii().data(), "
                           "path.toLocal8Bit().data())");
        return true;
    }
    // Written to a temporary file and renamed, so a failure never leaves a
    // half-written preset behind.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        return false;
    }
    presetfile::Preset preset;
    float volts = 0.0f;
    QSettings store(settingsstore::organisation(), settingsstore::application());
    store.beginGroup(groupOf(name));
    readPresetGroup(store, &preset.relays, &preset.aliasLines, &volts, preset.bus);
    store.endGroup();
    preset.name = name;
    preset.volts = double(volts);
    presetfile::write(file, preset);
    return file.commit();
}

qint8 ts4820inst::parsePresetFile(const QString &path, QString &configName, QString &relays,
                                  double &voltage, bool &busA, bool &busB, bool &busC, bool &busD,
                                  QStringList &aliasList)
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

qint8 ts4820inst::loadPresetFromFile(const QString &path)
{
    if (!demo) {
        reportDriverStatus(d_vi, ts4820_loadPresetFromFile(d_vi, path.toLocal8Bit().constData()),
                           "ts4820_loadPresetFromFile(d_vi, path.toLocal8Bit().data())");
        return 0;
    }
    QString name;
    QString relays;
    double volts = 0.0;
    bool bus[4] = {};
    QStringList aliasList;
    qint8 code =
        parsePresetFile(path, name, relays, volts, bus[0], bus[1], bus[2], bus[3], aliasList);
    if (code == 0 && !isStorableName(name)) {
        // Without a usable name the preset would land in the wrong group of
        // the store; the file is refused like any other malformed one.
        code = presetfile::BadLine;
    }
    if (code != 0) {
        diagnostic(QStringLiteral("parsePresetFile error: #%1\n").arg(code));
        return code;
    }
    // The lines are checked and bad ones reported, but the live aliases are
    // left alone: an upload must not rename the operator's lines.
    reportBadAliasLines(aliasList);

    QSettings store(settingsstore::organisation(), settingsstore::application());
    store.beginGroup(groupOf(name));
    store.setValue(QStringLiteral("Relays"), relays);
    store.setValue(QStringLiteral("Alias"), aliasList);
    store.setValue(QStringLiteral("VRef/Voltage"), volts);
    for (int i = 0; i < 4; ++i) {
        store.setValue(QStringLiteral("VRef/Bus%1").arg(QChar('A' + i)), bus[i]);
    }
    store.endGroup();
    return 0;
}
