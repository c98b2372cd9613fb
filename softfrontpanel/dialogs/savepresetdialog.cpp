#include "savepresetdialog.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>

#include "helptext.h"
#include "presetfile.h"
#include "presethost.h"
#include "ts4820fp_presetlist.h"
#include "ts4820inst.h"

savePresetDialog::savePresetDialog(QWidget *parent, presetHost *host) : QDialog(parent), m_host(host)
{
    setWindowTitle(QStringLiteral("Save preset"));
    m_presetList = new ts4820fp_presetList(this, m_host);
    m_presetList->setEditable(true);
    // A typed name becomes a preset only through "Save", never by Enter.
    m_presetList->setInsertPolicy(QComboBox::NoInsert);
    setHelpText(m_presetList, QStringLiteral("List of presets stored on the device. Enter here the "
                                             "name of new preset to save."));
    m_saveButton = new QPushButton(QStringLiteral("Save"));
    setHelpText(m_saveButton, QStringLiteral("Save the current device state as a new preset on the device."));
    layOutPresetDialog(this, QStringLiteral("Existing presets / new preset name:"), m_presetList,
                       m_saveButton);

    connect(m_saveButton, &QPushButton::clicked, this, &savePresetDialog::savePreset);
    connect(m_presetList, &QComboBox::editTextChanged, this, &savePresetDialog::newPresetNameValidate);
}

void savePresetDialog::newPresetNameValidate(QString txt)
{
    const QString current = m_presetList->currentText();
    if (current.length() > presetfile::kMaxNameLength) {
        // Re-enters this slot with the shortened text, which is what gets
        // validated: the user must be judged on the name the field shows.
        m_presetList->setEditText(current.left(presetfile::kMaxNameLength));
        return;
    }
    nameValid = presetfile::isPresetName(txt);
}

void savePresetDialog::savePreset()
{
    const QString name = m_presetList->currentText();
    if (name.isEmpty()) {
        showError(QStringLiteral("Please enter the name of the preset to save."));
        return;
    }
    if (!nameValid) {
        showError(QStringLiteral("New preset name is invalid. It may contain only alphanumeric "
                                 "characters, hyphens and underscores."));
        return;
    }
    // The unit's list may have changed while the dialog was open.
    m_presetList->refreshPresets(m_host->presetLabelText());
    const bool exists = m_presetList->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0;
    // Keep the typed name in the field in case the user stops below.
    m_presetList->setEditText(name);
    if (exists
        && !ask(QStringLiteral("Preset '%1' already exists. Do you want to overwrite it?").arg(name))) {
        return;
    }
    ts4820inst *model = m_host->presetInstrument();
    if (m_host->hasUnappliedChanges()) {
        if (!ask(QStringLiteral("The current relay configuration hasn't been written to the device "
                                "yet. It will be done when the preset is saved. Do you want to "
                                "continue?"))) {
            return;
        }
        // The unit stores what it holds, so the pending state goes first.
        model->writeState();
    }
    model->storePreset(name);
    m_host->refreshFromDevice();
    accept();
}

void savePresetDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    m_presetList->refreshPresets(m_host->presetLabelText());
    newPresetNameValidate(m_presetList->currentText());
}

bool savePresetDialog::ask(const QString &question)
{
    return QMessageBox::question(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::No)
           == QMessageBox::Yes;
}

void savePresetDialog::showError(const QString &text)
{
    QMessageBox::critical(this, windowTitle(), text, QMessageBox::Ok);
}
