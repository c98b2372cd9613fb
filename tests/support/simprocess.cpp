#include "simprocess.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

#include <csignal>

#include <sys/prctl.h>

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
    // The unit dies with the test: one left behind by a test killed at its
    // time-out would hold its address and port, and fail every later run.
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
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

UnitClient::UnitClient(const QString &address, quint16 port)
{
    socket.connectToHost(address, port);
    socket.waitForConnected(5000);
}

QByteArray UnitClient::talk(const QByteArray &input, int lines)
{
    socket.write(input);
    socket.waitForBytesWritten(5000);
    QByteArray replies = socket.readAll();
    while (replies.count('\n') < lines && socket.waitForReadyRead(5000)) {
        replies += socket.readAll();
    }
    return replies;
}

QByteArray UnitClient::query(const QByteArray &message)
{
    QByteArray reply = talk(message + '\n');
    // A block's declared length tells whether its LFs end it.
    while (reply.startsWith('#') && reply.size() > 2
           && reply.size() <= 2 + (reply[1] - '0') + reply.mid(2, reply[1] - '0').toInt()
           && socket.waitForReadyRead(5000)) {
        reply += socket.readAll();
    }
    return reply.chopped(reply.endsWith('\n') ? 1 : 0);
}

bool UnitClient::closedByUnit()
{
    return (socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(5000))
           && socket.bytesAvailable() == 0;
}

QByteArray words(int count, const QList<QPair<int, quint32>> &set)
{
    QByteArrayList w(count, "00000000");
    for (const auto &[index, value] : set) {
        w[index] = QByteArray::number(value, 16).rightJustified(8, '0');
    }
    return w.join(',');
}
