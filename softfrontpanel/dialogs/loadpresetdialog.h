#pragma once

#include <QDialog>

class QPushButton;
class presetHost;
class ts4820fp_presetList;

// "Load preset": picks one of the unit's presets and makes it the unit's
// configuration.
class loadPresetDialog : public QDialog
{
    Q_OBJECT
public:
    loadPresetDialog(QWidget *parent, presetHost *host);

public slots:
    void loadPreset();

protected:
    void showEvent(QShowEvent *event) override;

private:
    presetHost *m_host;
    ts4820fp_presetList *m_presetList;
    QPushButton *m_loadButton;
};
