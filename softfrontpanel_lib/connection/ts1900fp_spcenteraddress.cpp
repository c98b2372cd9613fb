#include "ts1900fp_spcenteraddress.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "demoidentity.h"
#include "frameicons.h"
#include "ts1900fp_genspc.h"

namespace {

QString historyFolder()
{
    const QString shared = qEnvironmentVariable("ALLUSERSPROFILE");
    if (!shared.isEmpty()) {
        return shared;
    }
#ifdef Q_OS_WIN
    return QStringLiteral("c:\\vxipnp");
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
#endif
}

QString positionKey(int n) { return QStringLiteral("%1.Descriptor").arg(n); }

// The file may have been edited by hand: an unquoted value with a comma
// reads back as a list, which stands for the text the user wrote.
QString storedText(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(QLatin1Char(','));
    }
    return value.toString();
}

// Whether storing the history may rewrite the file at path: when there is
// none, or when it is INI text (sections, comments, key=value lines) that
// the settings class reads whole. Anything else is someone else's file,
// which a rewrite would lose, and is left alone.
bool historyWritable(const QString &path, QSettings::Status status)
{
    QFile file(path);
    if (!file.exists()) {
        return true;
    }
    constexpr qint64 kMaxHistoryFile = 1 << 20; // five descriptors need far less
    if (status != QSettings::NoError || !file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray bytes = file.read(kMaxHistoryFile + 1);
    if (bytes.size() > kMaxHistoryFile || bytes.contains('\0')) {
        return false;
    }
    for (const QByteArray &raw : bytes.split('\n')) {
        const QByteArray line = raw.trimmed();
        const bool section = line.startsWith('[') && line.endsWith(']');
        if (!line.isEmpty() && !section && !line.startsWith(';') && !line.startsWith('#')
            && !line.contains('=')) {
            return false;
        }
    }
    return true;
}

QString defaultDescriptor()
{
    return QStringLiteral("TCPIP::") + demoidentity::address() + QStringLiteral("::INSTR");
}

} // namespace

ts1900fp_spcEnterAddress::ts1900fp_spcEnterAddress(ts1900fp_genSPC *adapter) : QDialog(nullptr)
{
    iniPath = QDir::toNativeSeparators(historyFolder() + QStringLiteral("/Tarsel/DefaultInstrDescr.ini"));
    group = modelField(adapter->model);

    setWindowTitle(QStringLiteral("Xentra ") + group + QStringLiteral(" SFP: Enter Module Address"));
    setWindowIcon(QIcon(frameicons::windowIcon()));

    combo = new QComboBox;
    combo->setEditable(true);
    combo->setMinimumWidth(18 * fontMetrics().height());
    const QString address = demoidentity::address();
    combo->setToolTip(tr("Enter the Instrument descriptor for the Module you want to connect to.<br>"
                         "Examples:<br>"
                         "<b>VXI0::1::INSTR</b> - VXI mainframe 0, Module with Logical Address 1<br>"
                         "<b>TCPIP::%1::INSTR</b> - Network Instrument with IP Address %1")
                          .arg(address));

    auto *descriptorRow = new QHBoxLayout;
    descriptorRow->addWidget(new QLabel(QStringLiteral("Instrument Descriptor:")));
    descriptorRow->addWidget(combo);

    auto *okButton = new QPushButton(QStringLiteral("OK"));
    auto *cancelButton = new QPushButton(QStringLiteral("Cancel"));
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(okButton);
    buttonRow->addWidget(cancelButton);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(descriptorRow);
    layout->addLayout(buttonRow);

    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void ts1900fp_spcEnterAddress::loadHistory()
{
    QSettings file(iniPath, QSettings::IniFormat);
    file.beginGroup(group);

    // Text typed in an earlier showing would otherwise survive the clear
    // and hide an empty history.
    combo->clear();
    combo->clearEditText();
    history.clear();
    for (int n = 1; n <= historySize; ++n) {
        history << storedText(file.value(positionKey(n), QString()));
    }
    history.removeAll(QString());
    combo->addItems(history);

    if (combo->currentText().isEmpty()) {
        // A present but empty first position is the user's own choice of
        // an empty start; only a missing one gets the demo address.
        combo->addItem(file.contains(positionKey(1)) ? storedText(file.value(positionKey(1)))
                                                     : defaultDescriptor());
    }
    file.endGroup();
}

QString ts1900fp_spcEnterAddress::takeDescriptor()
{
    const QString text = combo->currentText();
    if (text.isEmpty()) {
        return text;
    }
    history.removeOne(text);
    history.prepend(text);
    while (history.size() > historySize) {
        history.removeLast();
    }
    QSettings file(iniPath, QSettings::IniFormat);
    if (!historyWritable(iniPath, file.status())) {
        return text; // the history stays in memory only
    }
    file.beginGroup(group);
    for (int n = 1; n <= historySize; ++n) {
        file.setValue(positionKey(n), history.value(n - 1));
    }
    file.endGroup();
    return text;
}
