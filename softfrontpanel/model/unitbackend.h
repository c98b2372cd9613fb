#pragma once

#include <QString>
#include <QStringList>

// The two ways the model reaches the unit: through the instrument driver
// (DriverUnit) or, in demo mode, the simulated unit kept in the settings
// store (DemoStore). The model keeps geometry, history and names and
// writes each operation once; a backend does what touches the unit.
class UnitBackend
{
public:
    virtual ~UnitBackend() = default;

    // Fills the (cleared) newest pattern and the model's names.
    virtual void readState(char *pattern) = 0;
    virtual void writeState(const char *pattern) = 0;
    virtual void setAlias(int row, int col, const QString &text) = 0;
    virtual void clearAliases(int col, int rows) = 0;

    virtual QStringList presetNames() = 0;
    virtual void storePreset(const QString &name) = 0;
    virtual void restorePreset(const QString &name) = 0;
    virtual void removePreset(const QString &name) = 0;
    virtual QString currentPresetName() = 0;
    virtual void clearCurrentPresetName() = 0;

    virtual bool savePresetToFile(const QString &name, const QString &path) = 0;
    virtual qint8 loadPresetFromFile(const QString &path) = 0;
};
