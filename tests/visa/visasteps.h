// Shared by the VISA suites: calls written as steps of text, so that a row
// says what a caller does and what it gets back.
#pragma once

#include "visa.h"

#include <QHash>
#include <QStringList>

#include <cstring>
#include <functional>

// A status by its name, as its text begins; by its number when the text
// (a vendor library's) has no name.
inline QString named(ViStatus status)
{
    char text[VI_FIND_BUFLEN];
    viStatusDesc(VI_NULL, status, text);
    const QString name = QString(text).section(':', 0, 0);
    return name.startsWith("VI_") ? name : QString::number(uint(status), 16);
}

// What a search finds, walked to its end and closed: its status, then the
// names; a fault on the way as a word of its own.
inline QString find(ViSession rm, const QString &expression)
{
    ViFindList list = VI_NULL;
    ViUInt32 count = 99;
    char desc[VI_FIND_BUFLEN + 1];
    desc[VI_FIND_BUFLEN] = '#';
    const ViStatus status = viFindRsrc(rm, expression.toLatin1().constData(), &list, &count, desc);
    QStringList found{named(status)};
    for (ViStatus next = status; next == VI_SUCCESS && found.size() <= int(count);
         next = viFindNext(list, desc)) {
        found << desc;
    }
    if (found.size() != 1 + int(status < 0 ? 0 : count) || desc[VI_FIND_BUFLEN] != '#'
        || (status == VI_SUCCESS && (viClose(list) != VI_SUCCESS || viFindNext(list, desc) == VI_SUCCESS))) {
        found << QString("(count %1, buffer or closing wrong)").arg(count);
    }
    return found.join(' ');
}

// Runs steps ("step = what it gave", apart by |; a plain VI_SUCCESS goes
// without saying) and tells what each gave the same way: rm (a manager of
// its own), find EXPRESSION, open RESOURCE (the session from then on), write
// TEXT, read [COUNT], set or get ATTRIBUTE, close; other verbs go to `more`,
// which tells what went wrong, if anything.
struct Steps
{
    ViSession rm = VI_NULL, vi = VI_NULL;
    std::function<QString(const QString &verb)> more = [](const QString &) { return QString("unknown"); };

    QString run(const QString &steps)
    {
        QStringList done;
        for (const QString &step : steps.split('|')) {
            done << this->step(step.section(" = ", 0, 0));
        }
        if (vi != VI_NULL) {
            viClose(vi);
        }
        return done.join('|');
    }

    QString step(const QString &command)
    {
        // With the width of the value in bytes, 0 for text; any other name:
        // an attribute the library does not know.
#define ATTRIBUTE(name, width) std::pair(QString(#name), qMakePair(ViAttr(VI_ATTR_##name), width))
        static const QHash<QString, QPair<ViAttr, int>> attributes{
            ATTRIBUTE(INTF_TYPE, 2),      ATTRIBUTE(INTF_NUM, 2),         ATTRIBUTE(SLOT, 2),
            ATTRIBUTE(TMO_VALUE, 4),      ATTRIBUTE(TERMCHAR, 1),         ATTRIBUTE(TERMCHAR_EN, 2),
            ATTRIBUTE(RSRC_NAME, 0),      ATTRIBUTE(TCPIP_ADDR, 0),       ATTRIBUTE(TCPIP_PORT, 2),
            ATTRIBUTE(TCPIP_HOSTNAME, 0), ATTRIBUTE(TCPIP_DEVICE_NAME, 0)};
#undef ATTRIBUTE
        const QString verb = command.section(' ', 0, 0), argument = command.section(' ', 1);
        const auto [attribute, width] = attributes.value(argument.section(' ', 0, 0), {0x3FFF0FFF, 4});
        const QByteArray text = argument.toLatin1();
        ViStatus status = VI_SUCCESS;
        ViUInt32 count = 0, size = argument.isEmpty() ? 65536 : argument.toUInt();
        // What came with the status; an attribute's number takes its width, no more.
        QByteArray got(int(std::max<ViUInt32>(size, VI_FIND_BUFLEN)), '#');
        QString detail;
        if (verb == "rm") {
            status = viOpenDefaultRM(&rm);
        } else if (verb == "find") {
            return command + " = " + find(rm, argument);
        } else if (verb == "open") {
            ViSession opened = 0xFFFFFFFF;
            status = viOpen(rm, text.constData(), VI_NULL, VI_NULL, &opened);
            vi = status == VI_SUCCESS ? opened : vi;
            detail = opened == 0xFFFFFFFF ? " and the handle kept" : "";
        } else if (verb == "write") {
            status =
                viWrite(vi, reinterpret_cast<ViConstBuf>(text.constData()), ViUInt32(text.size()), &count);
            detail = count == ViUInt32(text.size()) || status != VI_SUCCESS ? "" : " but short";
        } else if (verb == "read") {
            status = viRead(vi, reinterpret_cast<ViPBuf>(got.data()), size, &count);
            detail = count ? " " + QString::fromLatin1(got.left(int(std::min(count, size)))) : "";
        } else if (verb == "set") {
            status = viSetAttribute(vi, attribute, argument.section(' ', 1).toULong());
        } else if (verb == "get") {
            status = viGetAttribute(vi, attribute, got.data());
            quint32 value = 0;
            std::memcpy(&value, got.constData(), size_t(width));
            const QString number = QString::number(value) + (got[width] == '#' ? "" : " and more");
            detail = status < 0 ? "" : " " + (width ? number : QString(got.left(got.indexOf('\0'))));
        } else if (verb == "close") {
            status = viClose(vi);
            vi = status == VI_SUCCESS ? VI_NULL : vi;
        } else {
            const QString wrong = more(verb);
            return wrong.isEmpty() ? command : command + " = " + wrong;
        }
        const QString result = named(status) + detail;
        return result == "VI_SUCCESS" ? command : command + " = " + result;
    }
};
