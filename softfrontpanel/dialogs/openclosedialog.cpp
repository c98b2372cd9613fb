#include "openclosedialog.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "helptext.h"
#include "schematic.h"
#include "waitcursor.h"

openCloseDialog::openCloseDialog(QWidget *mainWindow, Schematic *schematic)
    : QDialog(mainWindow), schematic(schematic)
{
    setWindowTitle(QStringLiteral("Open/Close Relays"));
    editor = new QLineEdit;
    editor->setMinimumWidth(300);
    setHelpText(editor, QStringLiteral("Expression describing relays for selection, eg. X1-4,Y1,Y6."));
    openButton = new QPushButton(QStringLiteral("Open Selected"));
    setHelpText(openButton, QStringLiteral("Open the selected relays."));
    closeButton = new QPushButton(QStringLiteral("Close Selected"));
    setHelpText(closeButton, QStringLiteral("Close the selected relays."));
    doneButton = new QPushButton(QStringLiteral("Done"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(openButton);
    buttons->addWidget(closeButton);
    buttons->addStretch();
    buttons->addWidget(doneButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(editor);
    layout->addLayout(buttons);

    connect(editor, &QLineEdit::textChanged, this, &openCloseDialog::openCloseExpressionChanged);
    connect(openButton, &QPushButton::clicked, this, &openCloseDialog::apply);
    connect(closeButton, &QPushButton::clicked, this, &openCloseDialog::apply);
    connect(doneButton, &QPushButton::clicked, this, &QDialog::reject);
}

void openCloseDialog::setSelectionButtonsEnabled(bool enabled)
{
    openButton->setEnabled(enabled);
    closeButton->setEnabled(enabled);
}

void openCloseDialog::apply()
{
    const WaitCursor wait;
    if (sender() == openButton) {
        schematic->applyMarked(false);
    } else if (sender() == closeButton) {
        schematic->applyMarked(true);
    }
}

void openCloseDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Each showing by the program re-evaluates the kept text, so the marks
    // come back.
    if (!event->spontaneous()) {
        emit openCloseExpressionChanged(editor->text());
    }
}
