#include "ts4820fp_demosubtypeselect.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include "settingsstore.h"

namespace {
const char lastModelKey[] = "Last model";
}

ts4820fp_demoSubtypeSelect::ts4820fp_demoSubtypeSelect() : QDialog(nullptr)
{
    combo = new QComboBox;
    combo->addItem(QStringLiteral("Xentra 4820-AA"), QStringLiteral("AA"));
    combo->addItem(QStringLiteral("Xentra 4820-AB"), QStringLiteral("AB"));

    auto *modelRow = new QHBoxLayout;
    modelRow->addWidget(new QLabel(QStringLiteral("Model:")));
    modelRow->addWidget(combo);

    auto *okButton = new QPushButton(QStringLiteral("Ok"));
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(okButton);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(modelRow);
    layout->addLayout(buttonRow);
    connect(okButton, &QPushButton::clicked, this, &ts4820fp_demoSubtypeSelect::okPressed);

    // The store may hold anything; an index that names no item falls back
    // to the first subtype.
    const QSettings settings(settingsstore::organisation(), settingsstore::application());
    bool isNumber = false;
    const int last = settings.value(QLatin1String(lastModelKey), 0).toInt(&isNumber);
    combo->setCurrentIndex(isNumber && last >= 0 && last < combo->count() ? last : 0);
}

void ts4820fp_demoSubtypeSelect::okPressed()
{
    QSettings settings(settingsstore::organisation(), settingsstore::application());
    settings.setValue(QLatin1String(lastModelKey), combo->currentIndex());
    accept();
}
