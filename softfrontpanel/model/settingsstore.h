#pragma once

#include <QString>

// The user's settings store of this program (the platform's native one).
namespace settingsstore {
inline QString organisation() { return QStringLiteral("Tarsel Ltd."); }
inline QString application() { return QStringLiteral("Xentra 4820 Soft Front Panel"); }
} // namespace settingsstore
