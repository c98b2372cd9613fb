// The panel against simulated units: what the program tests share.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QTcpSocket>

#include <memory>

#include "modalanswer.h"

class SimProcess;
class ts4820_spc;
class ts4820fp_App;
class QWidget;

// Talks to a unit over its raw socket, to check what the panel did.
class Probe
{
public:
    explicit Probe(const SimProcess &unit);
    // One reply without its LF; a block's data may hold LFs of its own.
    QByteArray query(const QByteArray &message);
    void command(const QByteArray &message) { query(message + "\n*OPC?"); }

private:
    QTcpSocket m_socket;
};

// The resources VISA lists for the search.
void listResources(const QList<QByteArray> &resources);

// Starts the main window with "Auto Find", then the given answers; null
// (with a warning) when the start-up did not go as the answers expect.
std::unique_ptr<ts4820fp_App> autoFind(ts4820_spc &adapter, const QList<ModalAnswer::Step> &tree = {});

// The unit's "ROUT:MATR?" reply: count words, all zero but those given.
QByteArray words(int count, const QList<QPair<int, quint32>> &set = {});
