#include "ts4820fp_presetlist.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "presethost.h"
#include "ts4820inst.h"

ts4820fp_presetList::ts4820fp_presetList(QWidget *parent, presetHost *host) : QComboBox(parent), m_host(host)
{
    setMinimumWidth(180);
    setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Maximum);
}

void ts4820fp_presetList::refreshPresets(QString current)
{
    current.remove(presetNotSavedSuffix());
    clear();
    addItems(m_host->presetInstrument()->getPresetList());
    const int index = findText(current, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0) {
        setCurrentIndex(index);
    }
}

void layOutPresetDialog(QDialog *dialog, const QString &caption, ts4820fp_presetList *list,
                        QPushButton *action)
{
    auto *closeButton = new QPushButton(QStringLiteral("Close"));
    auto *listRow = new QHBoxLayout;
    listRow->addWidget(new QLabel(caption));
    listRow->addWidget(list);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(action);
    buttonRow->addWidget(closeButton);
    auto *layout = new QVBoxLayout(dialog);
    layout->addLayout(listRow);
    layout->addLayout(buttonRow);
    QObject::connect(closeButton, &QPushButton::clicked, dialog, &QDialog::reject);
}
