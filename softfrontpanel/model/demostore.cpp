#include "demostore.h"

#include <QSaveFile>
#include <QSettings>

#include "diagnostics.h"
#include "matrixtext.h"
#include "presetfile.h"
#include "settingsstore.h"
#include "ts4820inst.h"

namespace {

const char *const kCurrent = "{current}";

void writeBusLinks(QSettings &store, const char *pattern)
{
    for (int i = 0; i < 4; ++i) {
        store.setValue(QStringLiteral("VRef/Bus%1").arg(QChar('A' + i)), int(pattern[i]));
    }
}

void readPresetGroup(QSettings &store, QString *relays, QStringList *aliasList, float *volts, bool bus[4])
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
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
           && name != QLatin1String(kCurrent);
}

} // namespace

QString DemoStore::groupOf(const QString &presetName) const
{
    return m_model.subType + QLatin1String("/Presets/") + presetName;
}

void DemoStore::markEdited(QSettings &store) const
{
    store.setValue(m_model.subType + QLatin1String("/Presets/CurrentPresetEdited"), true);
}

void DemoStore::writeCurrentAliases(QSettings &store) const
{
    store.setValue(groupOf(QLatin1String(kCurrent)) + QLatin1String("/Alias"), m_model.aliasLines());
}

void DemoStore::readState(char *pattern)
{
    const int relays = m_model.nRows * m_model.nCols;
    QSettings store(settingsstore::organisation(), settingsstore::application());
    store.beginGroup(groupOf(QLatin1String(kCurrent)));
    const QString relayText = store.value(QStringLiteral("Relays")).toString();
    const QStringList aliasList = store.value(QStringLiteral("Alias")).toStringList();
    const double voltage = store.value(QStringLiteral("VRef/Voltage")).toDouble();
    pattern[relays + 4] = char(m_model.getVRefIndex(voltage));
    for (int i = 0; i < 4; ++i) {
        pattern[relays + i] = store.value(QStringLiteral("VRef/Bus%1").arg(QChar('A' + i))).toBool() ? 1 : 0;
    }
    store.endGroup();
    m_model.hexToPattern(pattern, relayText);
    m_model.parseAliasLines(aliasList);
}

void DemoStore::writeState(const char *pattern)
{
    const int relays = m_model.nRows * m_model.nCols;
    QSettings store(settingsstore::organisation(), settingsstore::application());
    markEdited(store);
    store.beginGroup(groupOf(QLatin1String(kCurrent)));
    store.setValue(QStringLiteral("Relays"), m_model.patternToHex(pattern));
    store.setValue(QStringLiteral("VRef/Voltage"), m_model.getVRefVoltage(pattern[relays + 4]));
    writeBusLinks(store, pattern + relays);
    store.endGroup();
}

void DemoStore::setAlias(int row, int col, const QString &text)
{
    m_model.aliases[matrixtext::aliasIndex(row, col, m_model.nRows)] = text;
    QSettings store(settingsstore::organisation(), settingsstore::application());
    markEdited(store);
    writeCurrentAliases(store);
}

void DemoStore::clearAliases(int col, int rows)
{
    for (int r = 0; r < rows; ++r) {
        m_model.aliases[matrixtext::aliasIndex(r, col, m_model.nRows)].clear();
    }
    QSettings store(settingsstore::organisation(), settingsstore::application());
    markEdited(store);
    writeCurrentAliases(store);
}

QStringList DemoStore::presetNames()
{
    QSettings store(settingsstore::organisation(), settingsstore::application());
    store.beginGroup(m_model.subType + QLatin1String("/Presets"));
    QStringList names = store.childGroups();
    names.removeAll(QLatin1String(kCurrent));
    return names;
}

void DemoStore::storePreset(const QString &name)
{
    if (m_model.matrixState.isEmpty()) {
        return;
    }
    const char *pattern = m_model.matrixState.last().constData();
    const int relays = m_model.nRows * m_model.nCols;
    QSettings store(settingsstore::organisation(), settingsstore::application());
    store.beginGroup(groupOf(name));
    store.setValue(QStringLiteral("Relays"), m_model.patternToHex(pattern));
    store.setValue(QStringLiteral("Alias"), m_model.aliasLines());
    store.setValue(QStringLiteral("VRef/Voltage"), m_model.getVRefVoltage(pattern[relays + 4]));
    writeBusLinks(store, pattern + relays);
    store.endGroup();
    if (name != QLatin1String(kCurrent)) {
        store.setValue(m_model.subType + QLatin1String("/Presets/CurrentPresetName"), name);
        store.setValue(m_model.subType + QLatin1String("/Presets/CurrentPresetEdited"), false);
    }
}

void DemoStore::restorePreset(const QString &name)
{
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
        store.setValue(m_model.subType + QLatin1String("/Presets/CurrentPresetName"), name);
        store.setValue(m_model.subType + QLatin1String("/Presets/CurrentPresetEdited"), false);
    }
}

void DemoStore::removePreset(const QString &name)
{
    QSettings store(settingsstore::organisation(), settingsstore::application());
    store.beginGroup(m_model.subType + QLatin1String("/Presets"));
    store.remove(name);
    store.endGroup();
}

QString DemoStore::currentPresetName()
{
    QSettings store(settingsstore::organisation(), settingsstore::application());
    const QString prefix = m_model.subType + QLatin1String("/Presets/");
    const QString name = store.value(prefix + QLatin1String("CurrentPresetName")).toString();
    const bool edited = store.value(prefix + QLatin1String("CurrentPresetEdited")).toBool();
    return edited ? name + QLatin1Char('*') : name;
}

void DemoStore::clearCurrentPresetName()
{
    QSettings store(settingsstore::organisation(), settingsstore::application());
    const QString prefix = m_model.subType + QLatin1String("/Presets/");
    store.setValue(prefix + QLatin1String("CurrentPresetName"), QString());
    store.setValue(prefix + QLatin1String("CurrentPresetEdited"), false);
}

bool DemoStore::savePresetToFile(const QString &name, const QString &path)
{
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

qint8 DemoStore::loadPresetFromFile(const QString &path)
{
    QString name;
    QString relays;
    double volts = 0.0;
    bool bus[4] = {};
    QStringList aliasList;
    qint8 code =
        m_model.parsePresetFile(path, name, relays, volts, bus[0], bus[1], bus[2], bus[3], aliasList);
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
    for (const QString &line : aliasList) {
        if (!matrixtext::parseAliasLine(line, m_model.nRows).valid) {
            diagnostic(QStringLiteral("Bad alias data: '%1'!\n").arg(line));
        }
    }
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
