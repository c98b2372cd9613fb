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
    m_contentWidget = new QWidget;
    body->addWidget(m_contentWidget);
    body->addLayout(buildToolColumn(h));
    mainLayout->addLayout(body);
    setPanelLayout(mainLayout);

    m_built = true;
    // The window always has its layout's size; the user cannot resize it.
    mainLayout->setSizeConstraint(QLayout::SetFixedSize);
    centreOnScreen(this);
}

QLayout *ts1900fp_app::buildHeader()
{
    auto *header = new QHBoxLayout;
    header->setSpacing(0);
    header->addWidget(pictureLabel(QStringLiteral(":/tarsel-logo.bmp")));
    m_titleLabel = new QLabel;
    m_titleLabel->setStyleSheet(
        QStringLiteral("QLabel { background-color: #1a2c5e; color: #ffffff; font: bold 20px}"));
    m_titleLabel->setAlignment(Qt::AlignCenter);
    m_titleLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    header->addWidget(m_titleLabel);
    m_busLogoLabel = pictureLabel(QStringLiteral(":/vxi-logo.bmp"));
    header->addWidget(m_busLogoLabel);
    return header;
}

QVBoxLayout *ts1900fp_app::buildToolColumn(int h)
{
    m_toolLayout = new QVBoxLayout;
    m_toolLayout->setSpacing(h / 2);
    m_toolLayout->setContentsMargins(0, 0, h / 2, h / 2);
    addStatusGroup(h);
    addAutoscaleControls();
    addIdentifyControls();
    addStartControls();
    addCommandButtons();
    return m_toolLayout;
}

void ts1900fp_app::addStatusGroup(int h)
{
    auto *group = new QGroupBox;
    auto *groupLayout = new QVBoxLayout(group);
    groupLayout->setSpacing(h);
    m_activeLed = new ts1900fp_led(QStringLiteral("Active"), Qt::green, Qt::magenta);
    m_activeLed->setWhatsThis(
        QStringLiteral("Green light means that the Soft Front Panel works\nin Real (not Demo) mode."));
    groupLayout->addWidget(m_activeLed);
    m_moduleLabel = new QLabel;
    m_moduleLabel->hide();
    groupLayout->addWidget(m_moduleLabel);
    m_toolLayout->addWidget(group);
}

void ts1900fp_app::addAutoscaleControls()
{
    m_toolLayout->addStretch();
    m_autoscaleLabel = new QLabel(QStringLiteral("Autoscale"));
    m_autoscaleLabel->setAlignment(Qt::AlignCenter);
    m_autoscaleButton = new QPushButton(QStringLiteral("ON"));
    m_autoscaleButton->setCheckable(true);
    m_autoscaleButton->setChecked(true);
    setHelpText(m_autoscaleButton, QStringLiteral("Enables/disables plot autorescale feature"));
    m_toolLayout->addWidget(m_autoscaleLabel);
    m_toolLayout->addWidget(m_autoscaleButton);
    m_autoscaleLabel->hide();
    m_autoscaleButton->hide();
    connect(m_autoscaleButton, &QPushButton::toggled, this, &ts1900fp_app::autoscaleToggledSlot);
}

void ts1900fp_app::addIdentifyControls()
{
    m_toolLayout->addStretch();
    m_identifyLabel = new QLabel(QStringLiteral("Identify"));
    m_identifyLabel->setAlignment(Qt::AlignCenter);
    m_identifyButton = new QPushButton(QStringLiteral("OFF"));
    m_identifyButton->setCheckable(true);
    setHelpText(m_identifyButton, QStringLiteral("Enables/disables visual identification mechanism"));
    m_toolLayout->addWidget(m_identifyLabel);
    m_toolLayout->addWidget(m_identifyButton);
    m_identifyLabel->hide();
    m_identifyButton->hide();
    connect(m_identifyButton, &QPushButton::toggled, this, &ts1900fp_app::identToggledSlot);
}

void ts1900fp_app::addStartControls()
{
    m_toolLayout->addStretch();
    m_startButton = new QPushButton;
    m_startButton->setCheckable(true);
    m_startButton->setIcon(QIcon(frameicons::playIcon()));
    setHelpText(m_startButton, QStringLiteral("Starts the single-shot data acquisition"));
    m_startContButton = new QPushButton;
    m_startContButton->setCheckable(true);
    m_startContButton->setIcon(QIcon(frameicons::doublePlayIcon()));
    setHelpText(m_startContButton, QLatin1String(kContinuousHelp));
    m_toolLayout->addWidget(m_startButton);
    m_toolLayout->addWidget(m_startContButton);
    m_startButton->hide();
    m_startContButton->hide();
    connect(m_startButton, &QPushButton::toggled, this, &ts1900fp_app::startToggledSlot);
    connect(m_startContButton, &QPushButton::toggled, this, &ts1900fp_app::startContToggledSlot);
}

void ts1900fp_app::addCommandButtons()
{
    m_toolLayout->addStretch();
    m_resetButton = new QPushButton(QStringLiteral("Reset Device"));
    setHelpText(m_resetButton, QStringLiteral("Reset the device to the default state"));
    m_toolLayout->addWidget(m_resetButton);
    connect(m_resetButton, &QPushButton::clicked, this, &ts1900fp_app::resetPressed);

    m_toolLayout->addStretch();
    m_helpButton = new QPushButton;
    const QPixmap arrow = frameicons::whatsThisIcon();
    m_helpButton->setIcon(QIcon(arrow));
    m_helpButton->setIconSize(arrow.size());
    setHelpText(m_helpButton, QStringLiteral("Show on-line help for Instrument Soft Front Panel components"));
    m_aboutButton = new QPushButton(QStringLiteral("About"));
    setHelpText(m_aboutButton, QStringLiteral("Displays \"About\" panel"));
    m_closeButton = new QPushButton(QStringLiteral("Close"));
    setHelpText(m_closeButton, QStringLiteral("Close main panel and terminates program"));
    m_toolLayout->addWidget(m_helpButton);
    m_toolLayout->addWidget(m_aboutButton);
    m_toolLayout->addWidget(m_closeButton);
    connect(m_helpButton, &QPushButton::clicked, this, &ts1900fp_app::enterWIT);
    connect(m_closeButton, &QPushButton::clicked, this, &QWidget::close);
}

void ts1900fp_app::setModelText(int model) { modelText = QStringLiteral("%1").arg(model, 4); }

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
    if (m_built) {
        m_contentWidget->setLayout(layout);
    } else {
        setLayout(layout);
    }
}

void ts1900fp_app::setModuleInfo(const QString &text, const QString &whatsThis)
{
    m_moduleLabel->setText(text);
    m_moduleLabel->setVisible(!text.isEmpty());
    if (!whatsThis.isEmpty()) {
        m_moduleLabel->setWhatsThis(whatsThis);
    }
}

void ts1900fp_app::setProductText(const QString &html) { m_titleLabel->setText(html); }

void ts1900fp_app::setLxiLogo(bool isLxi)
{
    if (isLxi) {
        m_busLogoLabel->setPixmap(QPixmap(QStringLiteral(":/lxi-logo.bmp")));
    }
}

void ts1900fp_app::setDemoMode(bool demo) { m_activeLed->setState(demo ? 0 : 1); }

void ts1900fp_app::showIdentify(bool visible)
{
    m_identifyLabel->setVisible(visible);
    m_identifyButton->setVisible(visible);
}

void ts1900fp_app::enterWIT() { QWhatsThis::enterWhatsThisMode(); }

void ts1900fp_app::userBreak()
{
    if (m_startButton->isChecked()) {
        m_startButton->toggle();
    }
    if (m_startContButton->isChecked()) {
        m_startContButton->toggle();
    }
    enableStart();
}

void ts1900fp_app::enableStart()
{
    m_startButton->setEnabled(true);
    m_startContButton->setEnabled(true);
}

void ts1900fp_app::autoscaleToggledSlot(bool on)
{
    m_autoscaleButton->setText(on ? QStringLiteral("ON") : QStringLiteral("OFF"));
    emit autoscaleToggled(on);
}

void ts1900fp_app::identToggledSlot(bool on)
{
    m_identifyButton->setText(on ? QStringLiteral("ON") : QStringLiteral("OFF"));
    emit identToggled(on);
}

void ts1900fp_app::startToggledSlot(bool on)
{
    if (on) {
        m_startButton->setIcon(QIcon(frameicons::stopIcon()));
        setHelpText(m_startButton, QStringLiteral("Breaks the Single-Shot Data Acquisition"));
        m_startContButton->setEnabled(false);
        emit startSingle();
    } else {
        m_startButton->setIcon(QIcon(frameicons::playIcon()));
        setHelpText(m_startButton, QStringLiteral("Starts the Single-Shot Data Acquisition"));
        m_startButton->setEnabled(false);
        m_startContButton->setEnabled(false);
        emit breakSingle();
    }
}

void ts1900fp_app::startContToggledSlot(bool on)
{
    if (on) {
        m_startContButton->setIcon(QIcon(frameicons::stopIcon()));
        setHelpText(m_startContButton, QStringLiteral("Stops the Data Acquisition process"));
        m_startButton->setEnabled(false);
        emit startCont();
    } else {
        m_startContButton->setIcon(QIcon(frameicons::doublePlayIcon()));
        setHelpText(m_startContButton, QLatin1String(kContinuousHelp));
        m_startButton->setEnabled(false);
        m_startContButton->setEnabled(false);
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
