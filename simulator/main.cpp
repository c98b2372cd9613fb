// ts4820sim: a simulated Xentra 4820 on the network, for trying the panel
// and for tests without hardware.
#include "instrument.h"
#include "mdns.h"
#include "servers.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

int signalPipe[2];

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

[[noreturn]] void usageError(const QString &text)
{
    std::fprintf(stderr, "ts4820sim: %s\nTry 'ts4820sim --help'.\n", qPrintable(text));
    std::exit(2);
}

int number(const QCommandLineParser &p, const QString &name, int low, int high)
{
    bool ok = false;
    const int v = p.value(name).toInt(&ok);
    if (!ok || v < low || v > high) {
        usageError(QStringLiteral("--%1 takes a number from %2 to %3").arg(name).arg(low).arg(high));
    }
    return v;
}

// "HEADER" or "HEADER=NUMBER".
QPair<QByteArray, int> headerAndNumber(const QString &spec, int fallback)
{
    const qsizetype eq = spec.lastIndexOf('=');
    if (eq < 0) {
        return {spec.toLatin1(), fallback};
    }
    bool ok = false;
    const int n = spec.mid(eq + 1).toInt(&ok);
    if (!ok) {
        usageError(QStringLiteral("'%1' should be HEADER or HEADER=NUMBER").arg(spec));
    }
    return {spec.left(eq).toLatin1(), n};
}

void configureFaults(const QCommandLineParser &p, sim::Instrument &instrument)
{
    for (const QString &spec : p.values("fail")) {
        const auto [header, code] = headerAndNumber(spec, sim::SystemError);
        if (!sim::errorText(code) || code == 0) {
            usageError(QStringLiteral("%1 is not an error code of the unit").arg(code));
        }
        if (!instrument.failCommand(header, code)) {
            usageError(QStringLiteral("no command has the header '%1'").arg(QString(header)));
        }
    }
    for (const QString &spec : p.values("malformed")) {
        if (!instrument.malformReply(spec.toLatin1())) {
            usageError(QStringLiteral("no query has the header '%1'").arg(spec));
        }
    }
    for (const QString &spec : p.values("oversized")) {
        const auto [header, bytes] = headerAndNumber(spec, 100000);
        if (bytes < 1 || bytes > 64 * 1024 * 1024 || !instrument.oversizeReply(header, bytes)) {
            usageError(QStringLiteral("'%1' should name a query and 1 to 67108864 bytes").arg(spec));
        }
    }
    for (const QString &spec : p.values("slow")) {
        const auto [header, ms] = headerAndNumber(spec, 5000);
        if (ms < 1 || ms > 24 * 3600 * 1000 || !instrument.slowReply(header, ms)) {
            usageError(QStringLiteral("'%1' should name a query and 1 to 86400000 ms").arg(spec));
        }
    }
    for (const QString &spec : p.values("drop-on")) {
        if (!instrument.dropConnectionOn(spec.toLatin1())) {
            usageError(QStringLiteral("no command has the header '%1'").arg(spec));
        }
    }
    if (p.isSet("idn")) {
        instrument.setIdentification(p.value("idn").toLatin1());
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("ts4820sim");
    QCoreApplication::setApplicationVersion("2.1.0");

    QCommandLineParser p;
    p.setApplicationDescription(
        "A simulated Xentra 4820 LXI matrix switching unit. It serves VXI-11 (with its own\n"
        "portmapper) and raw SCPI on one address, speaks the command set of the unit's\n"
        "programming manual, and runs until SIGTERM or SIGINT. Several units can run side\n"
        "by side on different loopback addresses (127.0.0.2, 127.0.0.3, ...).\n\n"
        "Fault injection: HEADER is a command header in any accepted form, with '?' for\n"
        "a query (\"ROUT:MATR\", \"MEM:PRES:STOR\", \"*IDN?\").");
    p.addHelpOption();
    p.addVersionOption();
    p.addOptions({
        {"address", "Serve on this IPv4 address (default 127.0.0.1).", "ip", "127.0.0.1"},
        {"subtype", "Subtype AA or BA (96 rows), AB or BB (192 rows); default AB.", "subtype", "AB"},
        {"serial",
         "Serial number, up to 8 hex digits (default 4820 and the last two bytes of the "
         "address, e.g. 48200002 on 127.0.0.2).",
         "hex"},
        {"no-vref", "A unit without the voltage reference option."},
        {"hostname", "Host name the unit reports (default xentra-<serial>).", "name"},
        {"state",
         "Keep relays, names and presets in this folder across restarts (each change "
         "is written to a new file that replaces the old one). Without it nothing "
         "is kept.",
         "folder"},
        {"portmapper-port", "TCP port of the portmapper (default 111).", "port", "111"},
        {"core-port", "TCP port of the VXI-11 core channel (default: chosen by the system).", "port", "0"},
        {"raw-port", "TCP port of the raw SCPI socket (default 5025).", "port", "5025"},
        {"keepalive",
         "Probe a peer silent for this many seconds, once a second; one that "
         "answers none of three probes is gone and its place free (default 10).",
         "seconds", "10"},
        {"message-timeout",
         "Close a connection whose message stays unfinished this many seconds, "
         "or that holds no place and sends no whole message in that time "
         "(default 20).",
         "seconds", "20"},
        {"latency", "Fault: send every reply this many milliseconds late.", "ms", "0"},
        {"fail",
         "Fault: the command fails with this error code (default -310); may be "
         "repeated.",
         "HEADER[=CODE]"},
        {"drop-after",
         "Fault: close a connection, without an answer, when its message N+1 "
         "arrives.",
         "N", "0"},
        {"malformed",
         "Fault: the reply to this query is cut to half its length and '?!' is "
         "appended; may be repeated.",
         "HEADER"},
        {"oversized",
         "Fault: the reply to this query is made BYTES longer (default 100000), "
         "inside the quotes of a string and inside the data of a block; may be "
         "repeated.",
         "HEADER[=BYTES]"},
        {"slow",
         "Fault: the reply to this query comes this many milliseconds late (default "
         "5000); may be repeated.",
         "HEADER[=MS]"},
        {"drop-on",
         "Fault: close the connection, without an answer, when a message with this "
         "header arrives; may be repeated.",
         "HEADER"},
        {"idn", "Fault: answer *IDN? with this text (another maker's identification).", "text"},
        {"mdns", "Announce the units over mDNS/DNS-SD through the avahi daemon (_lxi._tcp, "
                 "_vxi-11._tcp, _scpi-raw._tcp), each under its host name in .local."},
        {"units",
         "Serve N units, on the address given and the N-1 addresses after it (each "
         "with its own serial number, and its own subfolder of the state folder).",
         "N", "1"},
    });
    p.process(app);

    sim::ServerOptions server;
    if (!server.address.setAddress(p.value("address"))
        || server.address.protocol() != QAbstractSocket::IPv4Protocol) {
        usageError("--address takes an IPv4 address");
    }
    server.portmapperPort = quint16(number(p, "portmapper-port", 0, 65535));
    server.corePort = quint16(number(p, "core-port", 0, 65535));
    server.rawPort = quint16(number(p, "raw-port", 0, 65535));
    server.latencyMs = number(p, "latency", 0, 24 * 3600 * 1000);
    server.dropAfter = number(p, "drop-after", 0, 1 << 30);
    server.keepAliveSeconds = number(p, "keepalive", 1, 3600);
    server.messageTimeoutSeconds = number(p, "message-timeout", 1, 3600);

    const int units = number(p, "units", 1, 250);
    if (units > 1 && (server.address.toIPv4Address() & 0xff) + units > 255) {
        usageError("--units: the addresses would leave the address's last byte range");
    }
    quint32 serialBase = 0;
    if (p.isSet("serial") && !sim::isHexWord(p.value("serial").toLatin1(), &serialBase)) {
        usageError("--serial takes 1 to 8 hexadecimal digits");
    }
    // Each unit holds a few sockets per connection; many units need many.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }

    std::vector<std::unique_ptr<sim::Instrument>> instruments;
    std::vector<std::unique_ptr<sim::UnitServer>> servers;
    for (int i = 0; i < units; ++i) {
        sim::ServerOptions where = server;
        where.address = QHostAddress(server.address.toIPv4Address() + quint32(i));
        sim::UnitOptions unit;
        unit.subtype = p.value("subtype").toUpper().toLatin1();
        if (!sim::Instrument::isSubtype(unit.subtype)) {
            usageError("--subtype takes AA, AB, BA or BB");
        }
        unit.serial = p.isSet("serial") ? serialBase + quint32(i)
                                        : 0x48200000u | (where.address.toIPv4Address() & 0xffff);
        unit.voltageReference = !p.isSet("no-vref");
        unit.stateFolder = p.value("state");
        if (units > 1 && !unit.stateFolder.isEmpty()) {
            unit.stateFolder += '/' + where.address.toString();
        }
        unit.hostname = p.value("hostname").toLatin1();
        unit.address = where.address.toString().toLatin1();
        auto instrument = std::make_unique<sim::Instrument>(unit);
        configureFaults(p, *instrument);

        QString message;
        if (!instrument->load(&message)) {
            std::fprintf(stderr, "ts4820sim: %s\n", qPrintable(message));
        }
        auto unitServer = std::make_unique<sim::UnitServer>(*instrument, where);
        if (!unitServer->listen(&message)) {
            std::fprintf(stderr, "ts4820sim: %s\n", qPrintable(message));
            return 1;
        }
        instruments.push_back(std::move(instrument));
        servers.push_back(std::move(unitServer));
    }

    sim::MdnsAnnouncer mdns;
    if (p.isSet("mdns")) {
        std::vector<sim::Announced> announced;
        for (const auto &unitServer : servers) {
            sim::Instrument &unit = unitServer->unit();
            announced.push_back({unit.options().hostname, unitServer->options().address.toString().toLatin1(),
                                 unit.identification(), unitServer->portmapperPort(), unitServer->rawPort()});
        }
        QString message;
        if (!mdns.start(announced, &message)) {
            std::fprintf(stderr, "ts4820sim: %s\n", qPrintable(message));
            return 1;
        }
    }

    // Signals arrive on a pipe so the event loop ends cleanly.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        return 1;
    }
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    std::signal(SIGPIPE, SIG_IGN);

    for (std::size_t i = 0; i < servers.size(); ++i) {
        std::printf("ts4820sim: %s on %s: VXI-11 portmapper %u, core channel %u; raw SCPI %u\n",
                    instruments[i]->identification().constData(),
                    qPrintable(servers[i]->options().address.toString()), servers[i]->portmapperPort(),
                    servers[i]->corePort(), servers[i]->rawPort());
    }
    std::fflush(stdout);
    const int result = app.exec();
    std::printf("ts4820sim: stopped\n");
    return result;
}
