#include "ts1900fp_app.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyleFactory>
#include <QVBoxLayout>
#include <QWhatsThis>

#include <cstdio>
#include <cstdlib>

#include "frameicons.h"
#include "helptext.h"
#include "ts1900fp_led.h"

QString ts1900fp_app::modelText = QStringLiteral("4820");

namespace {

const char *const kContinuousHelp =
    "<html>Starts the repetitive data acquisition (or continuous data acquisition, "
    "when file storage option is turned on)</html>";

QString boxTitle(const char *suffix)
{
    return QLatin1String("Xentra ") + ts1900fp_app::modelText + QLatin1String(suffix);
}

QLabel *pictureLabel(const QString &resource)
{
    auto *label = new QLabel;
    label->setPixmap(QPixmap(resource));
    return label;
}

} // namespace

ts1900fp_app::ts1900fp_app(QWidget *parent) : QWidget(parent)
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    setWindowIcon(QIcon(frameicons::windowIcon()));

    const int h = fontMetrics().height();
    auto *mainLayout = new QVBoxLayout;
    mainLayout->setSpacing(h);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout->addLayout(buildHeader());

    auto *body = new QHBoxLayout;
    body->setSpacing(h);
    body->setContentsMargins(h / 2, 0, 0, h / 2);
    contentWidget = new QWidget;
    body->addWidget(contentWidget);
    body->addLayout(buildToolColumn(h));
    mainLayout->addLayout(body);
    setPanelLayout(mainLayout);

    built = true;
    // The window always has its layout's size; the user cannot resize it.
    mainLayout->setSizeConstraint(QLayout::SetFixedSize);
    centreOnScreen(this);
}

QLayout *ts1900fp_app::buildHeader()
{
    auto *header = new QHBoxLayout;
    header->setSpacing(0);
    header->addWidget(pictureLabel(QStringLiteral(":/tarsel-logo.bmp")));
    titleLabel = new QLabel;
    titleLabel->setStyleSheet(
        QStringLiteral("QLabel { background-color: #1a2c5e; color: #ffffff; font: bold 20px}"));
    titleLabel->setAlignment(Qt::AlignCenter);
    titleLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    header->addWidget(titleLabel);
    busLogoLabel = pictureLabel(QStringLiteral(":/vxi-logo.bmp"));
    header->addWidget(busLogoLabel);
    return header;
}

QVBoxLayout *ts1900fp_app::buildToolColumn(int h)
{
    toolLayout = new QVBoxLayout;
    toolLayout->setSpacing(h / 2);
    toolLayout->setContentsMargins(0, 0, h / 2, h / 2);
    addStatusGroup(h);
    addAutoscaleControls();
    addIdentifyControls();
    addStartControls();
    addCommandButtons();
    return toolLayout;
}

void ts1900fp_app::addStatusGroup(int h)
{
    auto *group = new QGroupBox;
    auto *groupLayout = new QVBoxLayout(group);
    groupLayout->setSpacing(h);
    activeLed = new ts1900fp_led(QStringLiteral("Active"), Qt::green, Qt::magenta);
    activeLed->setWhatsThis(
        QStringLiteral("Green light means that the Soft Front Panel works\nin Real (not Demo) mode."));
    groupLayout->addWidget(activeLed);
    moduleLabel = new QLabel;
    moduleLabel->hide();
    groupLayout->addWidget(moduleLabel);
    toolLayout->addWidget(group);
}

void ts1900fp_app::addAutoscaleControls()
{
    toolLayout->addStretch();
    autoscaleLabel = new QLabel(QStringLiteral("Autoscale"));
    autoscaleLabel->setAlignment(Qt::AlignCenter);
    autoscaleButton = new QPushButton(QStringLiteral("ON"));
    autoscaleButton->setCheckable(true);
    autoscaleButton->setChecked(true);
    setHelpText(autoscaleButton, QStringLiteral("Enables/disables plot autorescale feature"));
    toolLayout->addWidget(autoscaleLabel);
    toolLayout->addWidget(autoscaleButton);
    autoscaleLabel->hide();
    autoscaleButton->hide();
    connect(autoscaleButton, &QPushButton::toggled, this, &ts1900fp_app::autoscaleToggledSlot);
}

void ts1900fp_app::addIdentifyControls()
{
    toolLayout->addStretch();
    identifyLabel = new QLabel(QStringLiteral("Identify"));
    identifyLabel->setAlignment(Qt::AlignCenter);
    identifyButton = new QPushButton(QStringLiteral("OFF"));
    identifyButton->setCheckable(true);
    setHelpText(identifyButton, QStringLiteral("Enables/disables visual identification mechanism"));
    toolLayout->addWidget(identifyLabel);
    toolLayout->addWidget(identifyButton);
    identifyLabel->hide();
    identifyButton->hide();
    connect(identifyButton, &QPushButton::toggled, this, &ts1900fp_app::identToggledSlot);
}

void ts1900fp_app::addStartControls()
{
    toolLayout->addStretch();
    startButton = new QPushButton;
    startButton->setCheckable(true);
    startButton->setIcon(QIcon(frameicons::playIcon()));
    setHelpText(startButton, QStringLiteral("Starts the single-shot data acquisition"));
    startContButton = new QPushButton;
    startContButton->setCheckable(true);
    startContButton->setIcon(QIcon(frameicons::doublePlayIcon()));
    setHelpText(startContButton, QLatin1String(kContinuousHelp));
    toolLayout->addWidget(startButton);
    toolLayout->addWidget(startContButton);
    startButton->hide();
    startContButton->hide();
    connect(startButton, &QPushButton::toggled, this, &ts1900fp_app::startToggledSlot);
    connect(startContButton, &QPushButton::toggled, this, &ts1900fp_app::startContToggledSlot);
}

void ts1900fp_app::addCommandButtons()
{
    toolLayout->addStretch();
    resetButton = new QPushButton(QStringLiteral("Reset Device"));
    setHelpText(resetButton, QStringLiteral("Reset the device to the default state"));
    toolLayout->addWidget(resetButton);
    connect(resetButton, &QPushButton::clicked, this, &ts1900fp_app::resetPressed);

    toolLayout->addStretch();
    helpButton = new QPushButton;
    const QPixmap arrow = frameicons::whatsThisIcon();
    helpButton->setIcon(QIcon(arrow));
    helpButton->setIconSize(arrow.size());
    setHelpText(helpButton, QStringLiteral("Show on-line help for Instrument Soft Front Panel components"));
    aboutButton = new QPushButton(QStringLiteral("About"));
    setHelpText(aboutButton, QStringLiteral("Displays \"About\" panel"));
    closeButton = new QPushButton(QStringLiteral("Close"));
    setHelpText(closeButton, QStringLiteral("Close main panel and terminates program"));
    toolLayout->addWidget(helpButton);
    toolLayout->addWidget(aboutButton);
    toolLayout->addWidget(closeButton);
    connect(helpButton, &QPushButton::clicked, this, &ts1900fp_app::enterWIT);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
}

void ts1900fp_app::setModelText(int model)
{
    modelText = QStringLiteral("%1").arg(model, 4);
}

void ts1900fp_app::showErrorMessage(const QString &text)
{
    const auto answer = QMessageBox::critical(QApplication::activeWindow(), boxTitle(" SFP Error message"),
                                              text + QLatin1String("\nDo you want to exit?"),
                                              QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes) {
        // The operator chose to leave at once: no clean-up, no session close.
        std::fflush(stdout);
        std::_Exit(0);
    }
}

void ts1900fp_app::showWarningMessage(const QString &text)
{
    QMessageBox::warning(QApplication::activeWindow(), boxTitle(" SFP Warning message"), text,
                         QMessageBox::Ok);
}

void ts1900fp_app::showInfoMessage(const QString &text)
{
    QMessageBox::information(QApplication::activeWindow(), boxTitle(" SFP Info message"), text,
                             QMessageBox::Ok);
}

void ts1900fp_app::centreOnScreen(QWidget *widget)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    const QRect available = screen->availableGeometry();
    const QSize size = widget->size();
    widget->setGeometry((available.width() - size.width()) / 2, (available.height() - size.height()) / 2,
                        size.width(), size.height());
}

void ts1900fp_app::setPanelLayout(QLayout *layout)
{
    if (built) {
        contentWidget->setLayout(layout);
    } else {
        setLayout(layout);
    }
}

void ts1900fp_app::setModuleInfo(const QString &text, const QString &whatsThis)
{
    moduleLabel->setText(text);
    moduleLabel->setVisible(!text.isEmpty());
    if (!whatsThis.isEmpty()) {
        moduleLabel->setWhatsThis(whatsThis);
    }
}

void ts1900fp_app::setProductText(const QString &html)
{
    titleLabel->setText(html);
}

void ts1900fp_app::setLxiLogo(bool isLxi)
{
    if (isLxi) {
        busLogoLabel->setPixmap(QPixmap(QStringLiteral(":/lxi-logo.bmp")));
    }
}

void ts1900fp_app::setDemoMode(bool demo)
{
    activeLed->setState(demo ? 0 : 1);
}

void ts1900fp_app::showIdentify(bool visible)
{
    identifyLabel->setVisible(visible);
    identifyButton->setVisible(visible);
}

void ts1900fp_app::enterWIT()
{
    QWhatsThis::enterWhatsThisMode();
}

void ts1900fp_app::userBreak()
{
    if (startButton->isChecked()) {
        startButton->toggle();
    }
    if (startContButton->isChecked()) {
        startContButton->toggle();
    }
    enableStart();
}

void ts1900fp_app::enableStart()
{
    startButton->setEnabled(true);
    startContButton->setEnabled(true);
}

void ts1900fp_app::autoscaleToggledSlot(bool on)
{
    autoscaleButton->setText(on ? QStringLiteral("ON") : QStringLiteral("OFF"));
    emit autoscaleToggled(on);
}

void ts1900fp_app::identToggledSlot(bool on)
{
    identifyButton->setText(on ? QStringLiteral("ON") : QStringLiteral("OFF"));
    emit identToggled(on);
}

void ts1900fp_app::startToggledSlot(bool on)
{
    if (on) {
        startButton->setIcon(QIcon(frameicons::stopIcon()));
        setHelpText(startButton, QStringLiteral("Breaks the Single-Shot Data Acquisition"));
        startContButton->setEnabled(false);
        emit startSingle();
    } else {
        startButton->setIcon(QIcon(frameicons::playIcon()));
        setHelpText(startButton, QStringLiteral("Starts the Single-Shot Data Acquisition"));
        startButton->setEnabled(false);
        startContButton->setEnabled(false);
        emit breakSingle();
    }
}

void ts1900fp_app::startContToggledSlot(bool on)
{
    if (on) {
        startContButton->setIcon(QIcon(frameicons::stopIcon()));
        setHelpText(startContButton, QStringLiteral("Stops the Data Acquisition process"));
        startButton->setEnabled(false);
        emit startCont();
    } else {
        startContButton->setIcon(QIcon(frameicons::doublePlayIcon()));
        setHelpText(startContButton, QLatin1String(kContinuousHelp));
        startButton->setEnabled(false);
        startContButton->setEnabled(false);
        emit stopCont();
    }
}

void ts1900fp_app::closeEvent(QCloseEvent *event)
{
    const auto answer = QMessageBox::question(QApplication::activeWindow(), boxTitle(" SFP"),
                                              QStringLiteral("Do you really want to exit?"),
                                              QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes) {
        event->accept();
    } else {
        event->ignore();
    }
}
