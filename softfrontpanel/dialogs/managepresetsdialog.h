#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>

class QListWidget;
class QPushButton;
class presetHost;
class ts4820fp_presetList;

// "Manage presets": deletes several of the unit's presets at once, saves
// them as ".prs" files into a folder, or uploads such files to the unit.
// The current relay state is never touched.
class managePresetsDialog : public QDialog
{
    Q_OBJECT
public:
    managePresetsDialog(QWidget *parent, presetHost *host);

    // The file choosers, replaceable so that tests need no native dialog.
    // Each returns an empty result when the user cancels.
    static std::function<QString(QWidget *parent)> chooseFolder;
    static std::function<QStringList(QWidget *parent)> chooseFiles;

public slots:
    void removePresets();
    void downloadPresets();
    void uploadPresets();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void refreshList();
    QStringList selectedNames() const;
    bool presetExists(const QString &name);
    bool ask(const QString &question);
    void showError(const QString &text);

    presetHost *m_host;
    QListWidget *m_list;
    ts4820fp_presetList *m_presetNames; // never shown
};
