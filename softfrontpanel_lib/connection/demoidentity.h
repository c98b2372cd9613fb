#pragma once

#include <QString>

// The fixed identity that demo mode presents wherever a real unit would show
// its own: one private address and host name, and the descriptor that
// stands for "no instrument".
namespace demoidentity {
inline QString address() { return QStringLiteral("192.168.250.20"); }
inline QString hostName() { return QStringLiteral("xentra4820-demo"); }
inline QString descriptor() { return QStringLiteral("VXI0::1::INSTR"); }
} // namespace demoidentity

// A model number as it appears in titles: decimal, right-aligned in four
// characters ("4820", " 482").
inline QString modelField(int model) { return QStringLiteral("%1").arg(model, 4); }
