#include "loadpresetdialog.h"

#include <QPushButton>
#include <QShowEvent>

#include "helptext.h"
#include "presethost.h"
#include "ts4820fp_presetlist.h"
#include "ts4820inst.h"

loadPresetDialog::loadPresetDialog(QWidget *parent, presetHost *host) : QDialog(parent), host(host)
{
    setWindowTitle(QStringLiteral("Load preset"));
    presetList = new ts4820fp_presetList(this, host);
    setHelpText(presetList, QStringLiteral("List of presets stored on the device."));
    loadButton = new QPushButton(QStringLiteral("Load"));
    setHelpText(loadButton, QStringLiteral("Load the selected device configuration stored as a preset."));
    layOutPresetDialog(this, QStringLiteral("Existing presets:"), presetList, loadButton);

    connect(loadButton, &QPushButton::clicked, this, &loadPresetDialog::loadPreset);
}

void loadPresetDialog::loadPreset()
{
    host->presetInstrument()->restorePreset(presetList->currentText());
    host->refreshFromDevice();
    accept();
}

void loadPresetDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    // The unit's memory may have changed since the last showing.
    presetList->refreshPresets(host->presetLabelText());
    const bool any = presetList->count() > 0;
    presetList->setEnabled(any);
    loadButton->setEnabled(any);
}
