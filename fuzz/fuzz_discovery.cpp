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
        records << resourceInfo_t();
        records.last().descriptor = QString::fromLatin1(line);
        if (descriptorLessThan(records.last(), records.last())) {
            std::abort(); // a record is never before itself
        }
    }
    // An order that is no strict weak order leaves the list unsorted.
    std::stable_sort(records.begin(), records.end(), descriptorLessThan);
    if (!std::is_sorted(records.begin(), records.end(), descriptorLessThan)) {
        std::abort();
    }
    return 0;
}
