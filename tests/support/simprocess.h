#pragma once

#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpSocket>

// One ts4820sim process on a loopback address for a test. The raw SCPI and
// core ports are chosen by the system; the portmapper port too, unless one
// is given (VISA clients need a known one). Killed when the test is done.
class SimProcess
{
public:
    explicit SimProcess(const QString &address, const QStringList &extra = {}, quint16 portmapperPort = 0);
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    bool running() const { return raw != 0 && process.state() == QProcess::Running; }
    // VISA resource names of the unit.
    QByteArray instr() const { return QStringLiteral("TCPIP0::%1::inst0::INSTR").arg(address).toLatin1(); }
    QByteArray socket() const
    {
        return QStringLiteral("TCPIP0::%1::%2::SOCKET").arg(address).arg(raw).toLatin1();
    }
    // Sends a signal, waits for the end; the exit code, or -signal when
    // the process was killed by it.
    int stop(int signal);
    // Starts the same unit again (same address, options and ports).
    bool restart();

    QProcess process;
    QString address, banner;
    QStringList arguments;
    quint16 portmapper = 0, core = 0, raw = 0;

private:
    void start();
};

// A client of a unit's raw socket, portmapper or core channel.
struct UnitClient
{
    UnitClient(const QString &address, quint16 port);
    explicit UnitClient(const SimProcess &unit) : UnitClient(unit.address, unit.raw) {}
    // Sends `input`; what arrives until `lines` lines are there or the unit closes.
    QByteArray talk(const QByteArray &input, int lines = 1);
    // One reply without its LF; a block's data may hold LFs of its own.
    QByteArray query(const QByteArray &message);
    void command(const QByteArray &message) { query(message + "\n*OPC?"); }
    bool closedByUnit();
    QTcpSocket socket;
};

// The unit's "ROUT:MATR?" reply: count words, all zero but those given.
QByteArray words(int count, const QList<QPair<int, quint32>> &set = {});
