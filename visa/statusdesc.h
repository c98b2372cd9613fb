#pragma once

#include "visa.h"

namespace tsvisa {

// Writes at most VI_FIND_BUFLEN bytes; VI_WARN_UNKNOWN_STATUS for a code
// without a text.
ViStatus describeStatus(ViStatus status, ViChar desc[]);

} // namespace tsvisa
