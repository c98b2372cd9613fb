#include "managepresetsdialog.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QUrl>
#include <QVBoxLayout>

#include "helptext.h"
#include "presetfile.h"
#include "presethost.h"
#include "ts4820fp_presetlist.h"
#include "ts4820inst.h"
#include "waitcursor.h"

namespace {

// Claims the first path folder/name[_n].prs that no file occupies by
// creating it empty, so that a second download running at the same time
// takes the next number instead of the same file. *claimed tells whether
// the file is ours; when the folder refuses new files it is not, and the
// write that follows reports the path.
QString claimFreeFilePath(const QString &folder, const QString &name, bool *claimed)
{
    for (int n = 0;; ++n) {
        const QString path = folder + QLatin1Char('/') + name + (n ? QStringLiteral("_%1").arg(n) : QString())
                             + QLatin1String(".prs");
        // Fails on anything at the path, a dangling link included.
        QFile file(path);
        *claimed = file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
        const QFileInfo occupant(path);
        if (*claimed || !(occupant.exists() || occupant.isSymLink())) {
            return path;
        }
    }
}

// A download that wrote nothing leaves no empty file of ours behind.
void releaseIfEmpty(const QString &path)
{
    if (QFileInfo(path).size() == 0) {
        QFile::remove(path);
    }
}

// The preset name a file declares, or a null string when it has no
// "configname" line.
QString declaredName(QFile &file)
{
    // Within the size of a preset file: a huge file is refused by the upload.
    for (qint64 read = 0; !file.atEnd() && read < presetfile::kMaxFileSize;) {
        const QByteArray bytes = file.readLine(presetfile::kMaxFileSize);
        read += qMax(bytes.size(), 1); // a device that gives nothing still ends
        QString line = QString::fromLocal8Bit(bytes);
        if (line.contains(QLatin1String("configname"))) {
            return line.remove(QLatin1String("configname"))
                .remove(QLatin1Char('='))
                .remove(QLatin1Char(' '))
                .remove(QLatin1Char('\n'))
                .remove(QLatin1Char('\r'));
        }
    }
    return QString();
}

} // namespace

std::function<QString(QWidget *)> managePresetsDialog::chooseFolder = [](QWidget *parent) {
    return QFileDialog::getExistingDirectory(parent, QStringLiteral("Save presets"), QString(),
                                             QFileDialog::ShowDirsOnly);
};

std::function<QStringList(QWidget *)> managePresetsDialog::chooseFiles = [](QWidget *parent) {
    return QFileDialog::getOpenFileNames(parent, QStringLiteral("Load presets"), QString(),
                                         QStringLiteral("Xentra 4820 presets (*.prs)"));
};

managePresetsDialog::managePresetsDialog(QWidget *parent, presetHost *host) : QDialog(parent), m_host(host)
{
    setWindowTitle(QStringLiteral("Manage presets"));
    m_list = new QListWidget;
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    setHelpText(m_list, QStringLiteral("List of presets stored on the device."));
    m_presetNames = new ts4820fp_presetList(this, m_host);
    m_presetNames->hide();

    auto *deleteButton = new QPushButton(QStringLiteral("Delete"));
    setHelpText(deleteButton, QStringLiteral("Remove the selected presets from the device's memory."));
    auto *saveButton = new QPushButton(QStringLiteral("Save to File"));
    setHelpText(saveButton, QStringLiteral("Save the selected presets stored on the device, as "
                                           "files, to a chosen folder."));
    auto *loadButton = new QPushButton(QStringLiteral("Load from File"));
    setHelpText(loadButton, QStringLiteral("Choose presets stored in local files and upload them "
                                           "to the device.\nThis operation does not change the "
                                           "current relay state."));
    auto *closeButton = new QPushButton(QStringLiteral("Close"));

    auto *commands = new QVBoxLayout;
    commands->addWidget(deleteButton);
    commands->addSpacing(30);
    commands->addWidget(saveButton);
    commands->addWidget(loadButton);
    commands->addStretch();
    auto *listRow = new QHBoxLayout;
    listRow->addWidget(m_list);
    listRow->addLayout(commands);
    auto *closeRow = new QHBoxLayout;
    closeRow->addStretch();
    closeRow->addWidget(closeButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(listRow);
    layout->addLayout(closeRow);

    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(deleteButton, &QPushButton::clicked, this, &managePresetsDialog::removePresets);
    connect(saveButton, &QPushButton::clicked, this, &managePresetsDialog::downloadPresets);
    connect(loadButton, &QPushButton::clicked, this, &managePresetsDialog::uploadPresets);
}

void managePresetsDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        refreshList();
    }
}

void managePresetsDialog::refreshList()
{
    m_list->clear();
    m_list->addItems(m_host->presetInstrument()->getPresetList());
}

QStringList managePresetsDialog::selectedNames() const
{
    // Row order, not the order in which the user clicked the items.
    QStringList names;
    for (int row = 0; row < m_list->count(); ++row) {
        if (m_list->item(row)->isSelected()) {
            names << m_list->item(row)->text();
        }
    }
    return names;
}

void managePresetsDialog::removePresets()
{
    const QStringList names = selectedNames();
    if (names.isEmpty()) {
        showError(QStringLiteral("Please select presets to be deleted."));
        return;
    }
    if (!ask(QStringLiteral("Do you really want to remove the selected presets from device's memory?"))) {
        return;
    }
    for (const QString &name : names) {
        m_host->presetInstrument()->removePreset(name);
    }
    m_host->refreshFromDevice();
    refreshList();
}

void managePresetsDialog::downloadPresets()
{
    const QStringList names = selectedNames();
    if (names.isEmpty()) {
        showError(QStringLiteral("Please select presets to be saved to files."));
        return;
    }
    const QString folder = chooseFolder(this);
    if (folder.isEmpty()) {
        return;
    }
    // A name the unit gives is part of the path only when it is a proper
    // preset name: "../x" or "/x" would lead out of the chosen folder,
    // whatever the driver then makes of it.
    QStringList refused;
    for (const QString &name : names) {
        if (!presetfile::isPresetName(name)) {
            refused << QLatin1Char('\'') + name + QLatin1Char('\'');
            continue;
        }
        bool claimed = false;
        const QString path = claimFreeFilePath(folder, name, &claimed);
        bool written = false;
        {
            // Per file, so that an error box never shows under the wait cursor.
            const WaitCursor wait;
            written = m_host->presetInstrument()->savePresetToFile(name, path);
        }
        if (claimed) {
            releaseIfEmpty(path);
        }
        if (!written) {
            showError(QStringLiteral("Failed to download preset. Unable to write file: %1.").arg(path));
        }
    }
    if (!refused.isEmpty()) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("These presets were not saved, because their names are "
                                            "not valid preset names: %1.")
                                 .arg(refused.join(QLatin1String(", "))),
                             QMessageBox::Ok);
    }
    // Shows the user where the new files are.
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void managePresetsDialog::uploadPresets()
{
    const QStringList paths = chooseFiles(this);
    if (paths.isEmpty()) {
        return;
    }
    for (const QString &path : paths) {
        QFile file(path);
        if (!file.exists() || !file.open(QIODevice::ReadOnly)) {
            showError(QStringLiteral("Failed to open file: %1.").arg(path));
            return;
        }
        const QString name = declaredName(file);
        file.close();
        if (!name.isNull() && presetExists(name)
            && !ask(QStringLiteral("Preset '%1' already exists. Do you want to overwrite it?").arg(name))) {
            return;
        }
        const qint8 result = m_host->presetInstrument()->loadPresetFromFile(path);
        if (result < 0) {
            showError(QStringLiteral("Failed to upload preset. Unable to read file: %1.").arg(path));
        } else if (result > 0) {
            showError(QStringLiteral("Failed to upload preset. Syntax error in file: %1. The file "
                                     "may be valid for different Xentra 4820 subtype.")
                          .arg(path));
        }
    }
    refreshList();
}

bool managePresetsDialog::presetExists(const QString &name)
{
    m_presetNames->refreshPresets(QString());
    return m_presetNames->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0;
}

bool managePresetsDialog::ask(const QString &question)
{
    return QMessageBox::question(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::No)
           == QMessageBox::Yes;
}

void managePresetsDialog::showError(const QString &text)
{
    QMessageBox::critical(this, windowTitle(), text, QMessageBox::Ok);
}
