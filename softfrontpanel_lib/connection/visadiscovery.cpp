#include "visadiscovery.h"

#include "waitcursor.h"

#include <QFutureWatcher>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ts1900fp_genspc.h"

namespace {

const int kMaxIdentifyThreads = 128;
const ViUInt32 kReplyLimit = 255;

QString leadingLetters(const QString &descriptor)
{
    int n = 0;
    while (n < descriptor.size() && descriptor.at(n).isLetter() && descriptor.at(n).unicode() < 128) {
        ++n;
    }
    return descriptor.left(n).toUpper();
}

// Board number and the four address fields of "TCPIP<board>::a.b.c.d...";
// a field that cannot be read counts as 0.
QVector<long long> tcpipKey(const QString &descriptor)
{
    static const QRegularExpression pattern(
        QStringLiteral("^[A-Za-z]*(\\d*)::(\\d*)(?:\\.(\\d*)(?:\\.(\\d*)(?:\\.(\\d*))?)?)?"));
    QVector<long long> key(5, 0);
    const QRegularExpressionMatch match = pattern.match(descriptor);
    for (int i = 0; i < 5 && match.hasMatch(); ++i) {
        key[i] = match.captured(i + 1).toLongLong();
    }
    return key;
}

long long boardNumber(const QString &descriptor)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z]*(\\d*)"));
    return pattern.match(descriptor).captured(1).toLongLong();
}

QString readText(ViSession vi, ViAttr attribute)
{
    char buffer[256] = {};
    viGetAttribute(vi, attribute, buffer); // a failed read leaves it empty
    buffer[sizeof buffer - 1] = '\0';
    return QString::fromLatin1(buffer);
}

} // namespace

void getResourceInfo(getResourceInfo_params_t *p)
{
    resourceInfo_t r = p->info;
    ViUInt16 interfaceType = 0xFFFF;
    ViSession vi = 0;
    const ViStatus opened = viOpen(p->rm, r.descriptor.toLatin1().constData(), VI_NULL, 0, &vi);
    if (opened < 0) {
        if (opened == VI_ERROR_RSRC_BUSY) {
            std::printf("viOpen() for %s failed with VI_ERROR_RSRC_BUSY!\n",
                        r.descriptor.toLatin1().constData());
            std::fflush(stdout);
        }
        return;
    }
    r.available = false;
    if (viGetAttribute(vi, VI_ATTR_INTF_TYPE, &interfaceType) == VI_SUCCESS
        && interfaceType == VI_INTF_TCPIP) {
        r.model = 0;
        QString subtype;
        char reply[kReplyLimit + 1] = {};
        ViUInt32 count = 0;
        // A status of VI_SUCCESS_MAX_CNT still delivers the first 255 bytes.
        if (viWrite(vi, reinterpret_cast<ViConstBuf>("*IDN?"), 5, &count) >= 0
            && viRead(vi, reinterpret_cast<ViPBuf>(reply), kReplyLimit, &count) >= 0) {
            reply[std::min(count, kReplyLimit)] = '\0';
            parseIdentification(reply, r, subtype);
        }
        if (r.model == 0) {
            subtype = QStringLiteral("??");
        }
        const QString modelText =
            r.model == 0 ? QStringLiteral("LXI") : QStringLiteral("%1-%2 LXI").arg(r.model).arg(subtype);
        r.columns << readText(vi, VI_ATTR_TCPIP_HOSTNAME) << readText(vi, VI_ATTR_TCPIP_DEVICE_NAME)
                  << modelText;
        r.available = r.model == p->spc->model;
    }
    viClose(vi);
    p->info = r;
}

void parseIdentification(const char *reply, resourceInfo_t &r, QString &subtype)
{
    static const char maker[] = "Tarsel Ltd.";
    if (std::strncmp(reply, maker, sizeof maker - 1) != 0) {
        return;
    }
    int model = 0;
    char token[256] = {};
    const int fields = std::sscanf(reply, "Tarsel Ltd.,Xentra %d-%255s", &model, token);
    if (fields >= 1) {
        r.model = qint16(model);
    }
    if (fields == 2) {
        subtype = QString::fromLatin1(token, int(std::min<size_t>(2, std::strlen(token))));
    }
}

bool descriptorLessThan(const resourceInfo_t &a, const resourceInfo_t &b)
{
    const QString prefixA = leadingLetters(a.descriptor);
    const QString prefixB = leadingLetters(b.descriptor);
    if (prefixA != prefixB) {
        return a.descriptor < b.descriptor;
    }
    if (prefixA == QLatin1String("TCPIP")) {
        return tcpipKey(a.descriptor) < tcpipKey(b.descriptor);
    }
    static const QStringList boardOrdered = {QStringLiteral("VXI"),    QStringLiteral("GPIB"),
                                             QStringLiteral("SOCKET"), QStringLiteral("BACKPLANE"),
                                             QStringLiteral("PXI"),    QStringLiteral("ASRL")};
    if (boardOrdered.contains(prefixA)) {
        return boardNumber(a.descriptor) < boardNumber(b.descriptor);
    }
    return a.descriptor < b.descriptor;
}

QList<resourceInfo_t> discoverResources(ts1900fp_genSPC *spc, QWidget *parent)
{
    QList<resourceInfo_t> records;
    ViSession rm = 0;
    if (viOpenDefaultRM(&rm) < 0) {
        viClose(rm);
        return records;
    }
    ViFindList list = 0;
    ViUInt32 remaining = 0;
    char descriptor[VI_FIND_BUFLEN] = {};
    ViStatus searched = VI_SUCCESS;
    {
        // The search may wait for units on the network to answer, a second
        // by default: the window shows that it is busy.
        const WaitCursor wait;
        searched = viFindRsrc(rm, "?*INSTR", &list, &remaining, descriptor);
    }
    if (searched < 0) {
        viClose(rm);
        return records;
    }
    while (remaining > 0) {
        resourceInfo_t record;
        record.descriptor = QString::fromLatin1(descriptor);
        records << record;
        if (--remaining == 0 || viFindNext(list, descriptor) < 0) {
            break;
        }
    }
    if (records.isEmpty()) {
        viClose(list);
        viClose(rm);
        return records;
    }

    const int n = int(records.size());
    std::vector<getResourceInfo_params_t> items;
    items.reserve(size_t(n));
    QVector<getResourceInfo_params_t *> work;
    for (const resourceInfo_t &record : records) {
        items.push_back(getResourceInfo_params_t{spc, rm, record});
        work << &items.back();
    }
    QThreadPool *pool = QThreadPool::globalInstance();
    pool->setMaxThreadCount(std::min(n, kMaxIdentifyThreads));

    QProgressDialog progress(parent);
    progress.setWindowTitle(QStringLiteral("Xentra %1").arg(spc->model));
    progress.setLabelText(QStringLiteral("Searching..."));
    progress.setCancelButton(nullptr);
    progress.setMinimumDuration(0);
    QFutureWatcher<void> watcher;
    QObject::connect(&watcher, &QFutureWatcher<void>::progressRangeChanged, &progress,
                     &QProgressDialog::setRange);
    QObject::connect(&watcher, &QFutureWatcher<void>::progressValueChanged, &progress,
                     &QProgressDialog::setValue);
    QObject::connect(&watcher, &QFutureWatcher<void>::finished, &progress, &QProgressDialog::reset);
    watcher.setFuture(QtConcurrent::map(pool, work, getResourceInfo));
    // The identification may already be over before the dialog runs; then
    // there is nothing to wait for.
    if (!watcher.isFinished()) {
        progress.exec();
    }
    watcher.waitForFinished();

    for (int i = 0; i < n; ++i) {
        records[i] = items.at(size_t(i)).info;
    }
    // Stable merge sort: safe whatever the descriptors, as a comparison that
    // mixes text and numeric order need not be a strict weak order.
    std::stable_sort(records.begin(), records.end(), descriptorLessThan);
    viClose(list);
    viClose(rm);
    return records;
}
