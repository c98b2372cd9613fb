#include "loadpresetdialog.h"

#include <QPushButton>
#include <QShowEvent>

#include "helptext.h"
#include "presethost.h"
#include "ts4820fp_presetlist.h"
#include "ts4820inst.h"

loadPresetDialog::loadPresetDialog(QWidget *parent, presetHost *host) : QDialog(parent), m_host(host)
{
    setWindowTitle(QStringLiteral("Load preset"));
    m_presetList = new ts4820fp_presetList(this, m_host);
    setHelpText(m_presetList, QStringLiteral("List of presets stored on the device."));
    m_loadButton = new QPushButton(QStringLiteral("Load"));
    setHelpText(m_loadButton, QStringLiteral("Load the selected device configuration stored as a preset."));
    layOutPresetDialog(this, QStringLiteral("Existing presets:"), m_presetList, m_loadButton);

    connect(m_loadButton, &QPushButton::clicked, this, &loadPresetDialog::loadPreset);
}

void loadPresetDialog::loadPreset()
{
    m_host->presetInstrument()->restorePreset(m_presetList->currentText());
    m_host->refreshFromDevice();
    accept();
}

void loadPresetDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    // The unit's memory may have changed since the last showing.
    m_presetList->refreshPresets(m_host->presetLabelText());
    const bool any = m_presetList->count() > 0;
    m_presetList->setEnabled(any);
    m_loadButton->setEnabled(any);
}
