#pragma once

#include "unitbackend.h"

class QSettings;
class ts4820inst;

// The simulated unit of demo mode, in the user's settings store: per
// subtype a group "Presets" with the live state as the preset
// "{current}", the stored presets beside it, and the name of the preset in
// use with its edited mark.
class DemoStore : public UnitBackend
{
public:
    explicit DemoStore(ts4820inst &model) : m_model(model) {}

    void readState(char *pattern) override;
    void writeState(const char *pattern) override;
    void setAlias(int row, int col, const QString &text) override;
    void clearAliases(int col, int rows) override;
    QStringList presetNames() override;
    void storePreset(const QString &name) override;
    void restorePreset(const QString &name) override;
    void removePreset(const QString &name) override;
    QString currentPresetName() override;
    void clearCurrentPresetName() override;
    bool savePresetToFile(const QString &name, const QString &path) override;
    qint8 loadPresetFromFile(const QString &path) override;

private:
    QString groupOf(const QString &presetName) const;
    void markEdited(QSettings &store) const;
    void writeCurrentAliases(QSettings &store) const;

    ts4820inst &m_model;
};
