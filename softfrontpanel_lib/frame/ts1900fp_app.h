#pragma once

#include <QString>
#include <QWidget>

class QBoxLayout;
class QDialog;
class QLabel;
class QLayout;
class QPushButton;
class QVBoxLayout;
class ts1900fp_led;

// The generic front-panel window shared by the family's panels: banner on
// top, the product's content on the left, a tool column on the right, and a
// confirmation before closing. Also home of the message boxes through which
// every part of the program reports.
class ts1900fp_app : public QWidget
{
    Q_OBJECT
public:
    explicit ts1900fp_app(QWidget *parent = nullptr);

    // "Xentra " + modelText + suffix is the title of every window and box.
    static QString modelText;
    static void setModelText(int model);

    static void showErrorMessage(const QString &text);
    static void showWarningMessage(const QString &text);
    static void showInfoMessage(const QString &text);

    static void centreOnScreen(QWidget *widget);

    void setPanelLayout(QLayout *layout);
    void setModuleInfo(const QString &text, const QString &whatsThis);
    void setProductText(const QString &html);
    void setLxiLogo(bool isLxi);
    void setDemoMode(bool demo);
    void showIdentify(bool visible);

    // The tool column, so that a product can insert its own buttons.
    QVBoxLayout *toolColumn() const { return m_toolLayout; }

signals:
    void autoscaleToggled(bool on);
    void identToggled(bool on);
    void startSingle();
    void breakSingle();
    void startCont();
    void stopCont();
    void resetPressed();

public slots:
    void enterWIT();
    void userBreak();
    void enableStart();
    void autoscaleToggledSlot(bool on);
    void identToggledSlot(bool on);
    void startToggledSlot(bool on);
    void startContToggledSlot(bool on);

protected:
    void closeEvent(QCloseEvent *event) override;

    QPushButton *m_helpButton = nullptr;
    QPushButton *m_autoscaleButton = nullptr;
    QDialog *m_aboutDialog = nullptr;
    QPushButton *m_aboutButton = nullptr;
    QWidget *m_contentWidget = nullptr;
    bool m_built = false;
    QLabel *m_titleLabel = nullptr;
    QLabel *m_busLogoLabel = nullptr;
    QLabel *m_moduleLabel = nullptr;
    ts1900fp_led *m_activeLed = nullptr;
    QPushButton *m_closeButton = nullptr;
    QLabel *m_autoscaleLabel = nullptr;
    QVBoxLayout *m_toolLayout = nullptr;
    QLabel *m_identifyLabel = nullptr;
    QPushButton *m_identifyButton = nullptr;
    QPushButton *m_resetButton = nullptr;
    QPushButton *m_startButton = nullptr;
    QPushButton *m_startContButton = nullptr;

private:
    QLayout *buildHeader();
    QVBoxLayout *buildToolColumn(int h);
    void addStatusGroup(int h);
    void addAutoscaleControls();
    void addIdentifyControls();
    void addStartControls();
    void addCommandButtons();
};
