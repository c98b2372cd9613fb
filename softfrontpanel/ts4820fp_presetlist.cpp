#include "ts4820fp_presetlist.h"

#include "presethost.h"
#include "ts4820inst.h"

ts4820fp_presetList::ts4820fp_presetList(QWidget *parent, presetHost *host)
    : QComboBox(parent), host(host)
{
    setMinimumWidth(180);
    setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Maximum);
}

void ts4820fp_presetList::refreshPresets(QString current)
{
    current.remove(presetNotSavedSuffix());
    clear();
    addItems(host->presetInstrument()->getPresetList());
    const int index = findText(current, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0) {
        setCurrentIndex(index);
    }
}
