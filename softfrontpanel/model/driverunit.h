#pragma once

#include "unitbackend.h"

class ts4820inst;

// The unit reached through the ts4820_* driver calls. A call that does
// not succeed goes to the model's reporter, with the call as written here.
class DriverUnit : public UnitBackend
{
public:
    explicit DriverUnit(ts4820inst &model) : m_model(model) {}

    void readState(char *pattern) override;
    void writeState(const char *pattern) override;
    void setAlias(int row, int col, const QString &text) override;
    void clearAliases(int col, int rows) override;
    QStringList presetNames() override;
    void storePreset(const QString &name) override;
    void restorePreset(const QString &name) override;
    void removePreset(const QString &name) override;
    QString currentPresetName() override;
    void clearCurrentPresetName() override {}
    bool savePresetToFile(const QString &name, const QString &path) override;
    qint8 loadPresetFromFile(const QString &path) override;

private:
    ts4820inst &m_model;
};
