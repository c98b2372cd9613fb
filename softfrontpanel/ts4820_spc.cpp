#include "ts4820_spc.h"

#include "ts4820.h"

namespace {
const char *const kSoftwareVersion = "4.3.1.12477";
}

ViStatus ts4820_spc::init(const char *descriptor, ViBoolean idQuery, ViBoolean reset, ViSession *vi)
{
    return ts4820_init(const_cast<ViRsrc>(descriptor), idQuery, reset, vi);
}

ViStatus ts4820_spc::close(ViSession vi) { return ts4820_close(vi); }

QString ts4820_spc::softwareVersion() { return QString::fromLatin1(kSoftwareVersion); }

QString ts4820_spc::productDescription() { return QStringLiteral("LXI Matrix Switching Unit"); }

QString ts4820_spc::driverRevision()
{
    // Works before any session exists; the status is deliberately ignored,
    // so a driver that writes nothing yields an empty text.
    char revision[64] = {};
    ts4820_revision_query(0, revision, VI_NULL);
    revision[sizeof revision - 1] = '\0';
    return QString::fromLatin1(revision);
}

QString ts4820_spc::copyrightText()
{
    return QString::fromUtf8("Copyright \u00a9 2009-2026 Tarsel Ltd. All rights reserved.");
}

QString ts4820_spc::secondVersionText() { return QString::fromLatin1(kSoftwareVersion); }
