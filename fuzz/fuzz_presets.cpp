// Preset data as the unit accepts it and .prs files as the panel reads
// them, with the alias lines and relay words inside.
#include "matrixtext.h"
#include "presetdata.h"
#include "presetfile.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    for (int rows : {96, 192}) {
        QByteArray name;
        sim::Configuration config(rows);
        sim::parsePresetData(bytes, rows, sim::standardVoltageTable(), &name, &config);
        sim::parsePresetData(bytes, rows, {}, &name, &config);

        QBuffer file;
        file.setData(bytes);
        file.open(QIODevice::ReadOnly);
        presetfile::Preset preset;
        presetfile::parse(file, matrixtext::wordCount(rows), &preset);

        const QString text = QString::fromLatin1(bytes);
        matrixtext::parseAliasLine(text, rows);
        QVector<quint32> words;
        matrixtext::hexToWords(text, matrixtext::wordCount(rows), &words);
    }
    return 0;
}
