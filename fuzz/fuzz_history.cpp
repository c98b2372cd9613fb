// The shared descriptor history as anyone may have left it: any bytes in
// DefaultInstrDescr.ini. Reading offers at most five entries; taking a
// descriptor either puts it first or leaves the file's bytes as they were,
// and a file the dialog wrote always takes the next one.
#include "ts1900fp_spcenteraddress.h"
#include "ts4820_spc.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

QTemporaryDir *folder;
ts1900fp_spcEnterAddress *dialog;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(*argc, *argv);
    folder = new QTemporaryDir;
    qputenv("ALLUSERSPROFILE", folder->path().toUtf8());
    static ts4820_spc adapter;
    dialog = new ts1900fp_spcEnterAddress(&adapter);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A fresh name each time: QSettings caches a file it has read by name
    // and would not see a rewrite within the same millisecond.
    static unsigned long long run = 0;
    dialog->iniPath = folder->filePath(QStringLiteral("h%1.ini").arg(++run));
    {
        QFile file(dialog->iniPath);
        if (!file.open(QIODevice::WriteOnly)
            || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size)) {
            std::abort();
        }
    }
    dialog->loadHistory();
    if (dialog->combo->count() < 1 || dialog->combo->count() > ts1900fp_spcEnterAddress::historySize) {
        std::abort();
    }

    const auto take = [](const QString &typed) {
        dialog->combo->setEditText(typed);
        dialog->takeDescriptor();
        dialog->loadHistory();
        return dialog->combo->itemText(0) == typed;
    };
    const auto bytes = [] {
        QFile file(dialog->iniPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    if (take(QStringLiteral("TCPIP::fuzz.example::INSTR"))) {
        if (!take(QStringLiteral("TCPIP::fuzz.example::5025::SOCKET"))) {
            std::abort(); // the dialog refused a file it wrote itself
        }
    } else if (bytes() != QByteArray(reinterpret_cast<const char *>(data), qsizetype(size))) {
        std::abort(); // rewritten without the descriptor: the user's lines lost
    }
    QFile::remove(dialog->iniPath);
    return 0;
}
