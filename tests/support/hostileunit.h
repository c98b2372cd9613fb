#pragma once

#include <QByteArray>
#include <QString>

#include <thread>

// A raw-socket unit that identifies itself (a 96-row Xentra 4820) and then
// answers ROUT:MATR? by trickling: 4 KiB every 300 ms, never an end, for at
// most thirty seconds, when it hangs up: a call still waiting then fails
// otherwise than by its time-out. Serves one client, on a thread of its own.
class TricklingUnit
{
public:
    explicit TricklingUnit(const QString &address);
    ~TricklingUnit();
    TricklingUnit(const TricklingUnit &) = delete;
    TricklingUnit &operator=(const TricklingUnit &) = delete;

    QByteArray resource() const { return m_resource; }

private:
    void serve();

    int m_listener = -1;
    QByteArray m_resource;
    std::thread m_thread;
};
