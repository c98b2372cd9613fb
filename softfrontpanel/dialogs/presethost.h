#pragma once

#include <QString>

class ts4820inst;

// What the preset dialogs need of the main window: its instrument model,
// the text of its preset label, whether Apply has something to write, and
// its refresh command. The main window implements it; tests can stand in.
class presetHost
{
public:
    virtual ~presetHost() = default;
    virtual ts4820inst *presetInstrument() = 0;
    // The preset label as shown, possibly ending in " <i>(preset not saved)</i>".
    virtual QString presetLabelText() const = 0;
    // True while the schematic shows relay changes not yet written (Apply enabled).
    virtual bool hasUnappliedChanges() const = 0;
    // Re-reads the unit into the window (the main window's refresh()).
    virtual void refreshFromDevice() = 0;
};

// The suffix the preset label carries while the unit's state differs from
// the named preset.
inline QString presetNotSavedSuffix() { return QStringLiteral(" <i>(preset not saved)</i>"); }
