#include "driverunit.h"

#include <QVector>

#include "diagnostics.h"
#include "matrixtext.h"
#include "ts4820.h"
#include "ts4820inst.h"

using matrixtext::COL_MAGIC;

void DriverUnit::readState(char *pattern)
{
    ts4820inst &m = m_model;
    const ViSession d_vi = m.d_vi;
    const int relays = m.nRows * m.nCols;
    // Cleared first, so a failed read shows open relays rather than noise.
    QVector<ViInt32> words(matrixtext::wordCount(m.nRows, m.nCols), 0);
    m.report(ts4820_getMatrixState(d_vi, words.data()), "ts4820_getMatrixState(d_vi, (ViInt32*)pattern)");
    matrixtext::unpackRelays(QVector<quint32>(words.cbegin(), words.cend()), pattern, m.nRows);

    QByteArray aliasBuffer(ts4820_ALIAS_BUFFER_SIZE(m.nRows), '\0');
    m.report(ts4820_getAlias(d_vi, 0, 0, aliasBuffer.data()), "ts4820_getAlias(d_vi, 0, 0, aliases)");
    aliasBuffer[aliasBuffer.size() - 1] = '\0';
    const QString aliasText = QString::fromLatin1(aliasBuffer.constData());
    if (!aliasText.isEmpty()) {
        m.parseAliasLines(aliasText.split(QLatin1Char(','), Qt::KeepEmptyParts));
    }

    if (m.voltRef.n > 0) {
        ViReal64 voltage = 0.0;
        m.report(ts4820_getVoltRefOutput(d_vi, &voltage), "ts4820_getVoltRefOutput(d_vi, &voltage)");
        pattern[relays + 4] = char(m.getVRefIndex(voltage));
    } else {
        pattern[relays + 4] = 0;
    }
    for (int i = 0; i < 4; ++i) {
        ViBoolean state = VI_FALSE;
        m.report(ts4820_getVoltRefConnectionState(d_vi, ts4820_LINE_A + i, &state),
                 "ts4820_getVoltRefConnectionState(d_vi, ts4820_LINE_A+i, &state)");
        pattern[relays + i] = state ? 1 : 0;
    }
}

void DriverUnit::writeState(const char *pattern)
{
    ts4820inst &m = m_model;
    const ViSession d_vi = m.d_vi;
    const int relays = m.nRows * m.nCols;
    const QVector<quint32> packed = matrixtext::packRelays(pattern, m.nRows);
    QVector<ViInt32> words(packed.cbegin(), packed.cend());
    m.report(ts4820_setMatrixState(d_vi, words.data()), "ts4820_setMatrixState(d_vi, (ViInt32*)pattern)");
    for (int i = 0; i < 4; ++i) {
        m.report(ts4820_setVoltRefConnectionState(d_vi, ts4820_LINE_A + i, pattern[relays + i]),
                 "ts4820_setVoltRefConnectionState(d_vi, ts4820_LINE_A+i, "
                 "matrixState.last()[nRows*nCols+i])");
    }
    if (m.voltRef.n >= 1) {
        m.report(ts4820_setVoltRefOutput(d_vi, m.getVRefVoltage(pattern[relays + 4])),
                 "ts4820_setVoltRefOutput(d_vi, getVRefVoltage(matrixState.last()[nRows*nCols+4]))");
    }
}

void DriverUnit::setAlias(int row, int col, const QString &text)
{
    m_model.report(ts4820_setAlias(m_model.d_vi, COL_MAGIC[col] + 1, row + 1, text.toLatin1().constData()),
                   "ts4820_setAlias(d_vi, COL_MAGIC[col]+1, row+1, txt.toAscii().data())");
}

void DriverUnit::clearAliases(int col, int rows)
{
    for (int r = 0; r < rows; ++r) {
        m_model.report(ts4820_setAlias(m_model.d_vi, COL_MAGIC[col] + 1, r + 1, ""),
                       "ts4820_setAlias(d_vi, COL_MAGIC[col]+1, r+1, (char*)\"\")");
    }
}

QStringList DriverUnit::presetNames()
{
    const ViSession d_vi = m_model.d_vi;
    QStringList names;
    ViInt32 n = 0;
    m_model.report(ts4820_getPresetList(d_vi, &n), "ts4820_getPresetList(d_vi, &n)");
    for (ViInt32 i = 0; i < n; ++i) {
        char name[ts4820_PRESET_NAME_BUFFER_SIZE] = {};
        const ViStatus status = ts4820_getPresetFromList(d_vi, i, name);
        m_model.report(status, "ts4820_getPresetFromList(d_vi, i, name)");
        // A name that could not be read is left out rather than guessed.
        if (status < 0) {
            continue;
        }
        name[sizeof name - 1] = '\0';
        names << QString::fromLatin1(name);
    }
    return names;
}

void DriverUnit::storePreset(const QString &name)
{
    m_model.report(ts4820_storePreset(m_model.d_vi, name.toLatin1().constData()),
                   "ts4820_storePreset(d_vi, name.toAscii().data())");
}

void DriverUnit::restorePreset(const QString &name)
{
    const ViSession d_vi = m_model.d_vi;
    m_model.report(ts4820_restorePreset(d_vi, name.toLatin1().constData()),
                   "ts4820_restorePreset(d_vi, name.toAscii().data())");
    if (m_model.voltRef.n >= 1) {
        ViReal64 voltage = 0.0;
        m_model.report(ts4820_getVoltRefOutput(d_vi, &voltage), "ts4820_getVoltRefOutput(d_vi, &voltage)");
        diagnostic(QString::asprintf("BUG? VREF voltage immediatelly after ts4820_restorePreset() : %lf\n",
                                     voltage));
    }
}

void DriverUnit::removePreset(const QString &name)
{
    m_model.report(ts4820_removePreset(m_model.d_vi, name.toLatin1().constData()),
                   "ts4820_removePreset(d_vi, name.toAscii().data())");
}

QString DriverUnit::currentPresetName()
{
    char name[ts4820_PRESET_NAME_BUFFER_SIZE] = {};
    m_model.report(ts4820_getDefaultPresetName(m_model.d_vi, name),
                   "ts4820_getDefaultPresetName(d_vi, name)");
    name[sizeof name - 1] = '\0';
    return QString::fromLatin1(name);
}

bool DriverUnit::savePresetToFile(const QString &name, const QString &path)
{
    m_model.report(
        ts4820_savePresetToFile(m_model.d_vi, name.toLatin1().constData(), path.toLocal8Bit().constData()),
        "ts4820_savePresetToFile(d_vi, name.toAscii().data(), path.toLocal8Bit().data())");
    return true; // a driver error has been reported
}

qint8 DriverUnit::loadPresetFromFile(const QString &path)
{
    m_model.report(ts4820_loadPresetFromFile(m_model.d_vi, path.toLocal8Bit().constData()),
                   "ts4820_loadPresetFromFile(d_vi, path.toLocal8Bit().data())");
    return 0; // a driver error has been reported
}
