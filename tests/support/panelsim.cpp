#include "panelsim.h"

#include "simprocess.h"
#include "ts4820_spc.h"
#include "ts4820fp_app.h"

Probe::Probe(const SimProcess &unit)
{
    m_socket.connectToHost(unit.address, unit.raw);
    m_socket.waitForConnected(5000);
}

QByteArray Probe::query(const QByteArray &message)
{
    m_socket.write(message + '\n');
    QByteArray reply;
    do {
        while (!m_socket.canReadLine() && m_socket.waitForReadyRead(5000)) {
        }
        if (!m_socket.canReadLine()) {
            break;
        }
        reply += m_socket.readLine();
    } while (reply.startsWith('#') && reply.size() > 2
             && reply.size() <= 2 + (reply[1] - '0') + reply.mid(2, reply[1] - '0').toInt());
    return reply.chopped(reply.endsWith('\n') ? 1 : 0);
}

void listResources(const QList<QByteArray> &resources)
{
    QByteArrayList list(resources.begin(), resources.end());
    qputenv("TS4820_VISA_RESOURCES", list.join(';'));
}

std::unique_ptr<ts4820fp_App> autoFind(ts4820_spc &adapter, const QList<ModalAnswer::Step> &tree)
{
    ModalAnswer answers(QList<ModalAnswer::Step>{{QStringLiteral("Auto Find"), nullptr}} + tree, 20000);
    auto window = std::make_unique<ts4820fp_App>(&adapter, nullptr);
    if (!answers.done()) {
        qWarning("start-up not answered (%d answers): %s", int(answers.answered()),
                 qPrintable(answers.error()));
        return nullptr;
    }
    return window;
}

QByteArray words(int count, const QList<QPair<int, quint32>> &set)
{
    QByteArrayList w(count, "00000000");
    for (const auto &[index, value] : set) {
        w[index] = QByteArray::number(value, 16).rightJustified(8, '0');
    }
    return w.join(',');
}
