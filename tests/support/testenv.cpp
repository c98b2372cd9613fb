#include "testenv.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {
QTemporaryDir *tempRoot()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/ts4820-test-XXXXXX"));
    return &dir;
}
} // namespace

namespace testenv {

void isolate()
{
    const QString base = tempRoot()->path();
    const char *const folders[][2] = {
        {"HOME", "/home"},
        {"XDG_CONFIG_HOME", "/config"},
        {"XDG_DATA_HOME", "/data"},
        {"XDG_CACHE_HOME", "/cache"},
        {"XDG_RUNTIME_DIR", "/runtime"},
        {"ALLUSERSPROFILE", "/allusers"},
    };
    for (const auto &folder : folders) {
        const QString path = base + QLatin1String(folder[1]);
        QDir().mkpath(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv(folder[0], path.toLocal8Bit());
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QStandardPaths::setTestModeEnabled(true);
}

QString root() { return tempRoot()->path(); }

} // namespace testenv

StdoutCapture::StdoutCapture()
{
    std::fflush(stdout);
    m_path = testenv::root() + QStringLiteral("/stdout-capture.txt");
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    m_savedFd = ::dup(STDOUT_FILENO);
    ::dup2(fd, STDOUT_FILENO);
    ::close(fd);
}

StdoutCapture::~StdoutCapture() { restore(); }

void StdoutCapture::restore()
{
    if (m_savedFd < 0) {
        return;
    }
    std::fflush(stdout);
    ::dup2(m_savedFd, STDOUT_FILENO);
    ::close(m_savedFd);
    m_savedFd = -1;
    QFile file(m_path);
    if (file.open(QIODevice::ReadOnly)) {
        m_text = QString::fromLocal8Bit(file.readAll());
    }
}

QString StdoutCapture::text()
{
    restore();
    return m_text;
}

QPushButton *buttonNamed(const QWidget *parent, const QString &text)
{
    for (QPushButton *button : parent->findChildren<QPushButton *>()) {
        if (button->text() == text) {
            return button;
        }
    }
    qFatal("no button '%s'", qPrintable(text));
}
