#include "simprocess.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

#include <csignal>

SimProcess::SimProcess(const QString &address, const QStringList &extra, quint16 portmapperPort)
    : address(address)
{
    arguments = QStringList{"--address",  address, "--portmapper-port", QString::number(portmapperPort),
                            "--raw-port", "0"}
                + extra;
    start();
}

SimProcess::~SimProcess()
{
    process.kill();
    process.waitForFinished();
}

void SimProcess::start()
{
    process.start(QStringLiteral(TS4820SIM), arguments);
    for (QDeadlineTimer until(10000);
         !process.canReadLine() && process.waitForReadyRead(int(until.remainingTime()));) {
    }
    banner = QString::fromUtf8(process.readLine());
    const QRegularExpressionMatch m =
        QRegularExpression("portmapper (\\d+), core channel (\\d+); raw SCPI (\\d+)").match(banner);
    portmapper = m.captured(1).toUShort();
    core = m.captured(2).toUShort();
    raw = m.captured(3).toUShort();
}

bool SimProcess::restart()
{
    // The same ports again, so that clients find the unit where it was.
    arguments[arguments.indexOf("--raw-port") + 1] = QString::number(raw);
    arguments[arguments.indexOf("--portmapper-port") + 1] = QString::number(portmapper);
    if (!arguments.contains("--core-port")) {
        arguments << "--core-port" << QString::number(core);
    }
    start();
    return running();
}

int SimProcess::stop(int signal)
{
    ::kill(pid_t(process.processId()), signal);
    process.waitForFinished(10000);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -signal;
}
