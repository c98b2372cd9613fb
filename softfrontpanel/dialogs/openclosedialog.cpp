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
    : QDialog(mainWindow), m_schematic(schematic)
{
    setWindowTitle(QStringLiteral("Open/Close Relays"));
    m_editor = new QLineEdit;
    m_editor->setMinimumWidth(300);
    setHelpText(m_editor, QStringLiteral("Expression describing relays for selection, eg. X1-4,Y1,Y6."));
    m_openButton = new QPushButton(QStringLiteral("Open Selected"));
    setHelpText(m_openButton, QStringLiteral("Open the selected relays."));
    m_closeButton = new QPushButton(QStringLiteral("Close Selected"));
    setHelpText(m_closeButton, QStringLiteral("Close the selected relays."));
    m_doneButton = new QPushButton(QStringLiteral("Done"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_openButton);
    buttons->addWidget(m_closeButton);
    buttons->addStretch();
    buttons->addWidget(m_doneButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_editor);
    layout->addLayout(buttons);

    connect(m_editor, &QLineEdit::textChanged, this, &openCloseDialog::openCloseExpressionChanged);
    connect(m_openButton, &QPushButton::clicked, this, &openCloseDialog::apply);
    connect(m_closeButton, &QPushButton::clicked, this, &openCloseDialog::apply);
    connect(m_doneButton, &QPushButton::clicked, this, &QDialog::reject);
}

void openCloseDialog::setSelectionButtonsEnabled(bool enabled)
{
    m_openButton->setEnabled(enabled);
    m_closeButton->setEnabled(enabled);
}

void openCloseDialog::apply()
{
    const WaitCursor wait;
    if (sender() == m_openButton) {
        m_schematic->applyMarked(false);
    } else if (sender() == m_closeButton) {
        m_schematic->applyMarked(true);
    }
}

void openCloseDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Each showing by the program re-evaluates the kept text, so the marks
    // come back.
    if (!event->spontaneous()) {
        emit openCloseExpressionChanged(m_editor->text());
    }
}
