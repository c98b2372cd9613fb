// What discovery makes of outside text: the "*IDN?" reply of any device on
// the network (the first line) and the descriptors a VISA search returns,
// sorted as the list shows them (the other lines).
#include "visadiscovery.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<QByteArray> lines = bytes.split('\n');

    // The worker hands viRead's bytes on as a text of at most 255 characters.
    resourceInfo_t identified;
    QString subtype;
    parseIdentification(lines.first().left(255).constData(), identified, subtype);
    if (subtype.size() > 2 || (identified.model != 0 && !lines.first().startsWith("Tarsel Ltd."))) {
        std::abort();
    }

    QList<resourceInfo_t> records;
    for (const QByteArray &line : lines.mid(1)) {
        resourceInfo_t r;
        r.descriptor = QString::fromLatin1(line);
        if (descriptorLessThan(r, r)) {
            std::abort(); // a record is never before itself
        }
        records << r;
    }
    QList<resourceInfo_t> sorted = records;
    std::stable_sort(sorted.begin(), sorted.end(), descriptorLessThan);
    // Sorting may only reorder: every descriptor found is listed once.
    QStringList before, after;
    for (const resourceInfo_t &r : records) {
        before << r.descriptor;
    }
    for (const resourceInfo_t &r : sorted) {
        after << r.descriptor;
    }
    before.sort();
    after.sort();
    if (before != after) {
        std::abort();
    }
    return 0;
}
