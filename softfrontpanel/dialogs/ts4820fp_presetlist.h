#pragma once

#include <QComboBox>

class QDialog;
class QPushButton;
class presetHost;

// The presets stored on the unit, as a combo box; the preset dialogs show
// it (editable in the save dialog) and the manage dialog uses it unseen to
// fetch the names.
class ts4820fp_presetList : public QComboBox
{
    Q_OBJECT
public:
    ts4820fp_presetList(QWidget *parent, presetHost *host);

    // Re-reads the unit's presets and selects current (without the
    // "not saved" suffix) when it is one of them.
    void refreshPresets(QString current);

private:
    presetHost *m_host;
};

// The load and save dialogs' shared layout: a row of caption and list, a
// row of stretch, the action button and "Close" (which rejects).
void layOutPresetDialog(QDialog *dialog, const QString &caption, ts4820fp_presetList *list,
                        QPushButton *action);
