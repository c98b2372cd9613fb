#pragma once

#include "visa.h"

#include <functional>

// The one way every driver call is reported: a status of 0 is silent; an
// error shows "<call> failed due to [<driver text>]" in the error box, a
// warning "Warning: [<driver text>]" in the warning box. The caller carries
// on afterwards (unless the operator chose to exit). Returns the status.
ViStatus reportDriverStatus(ViSession vi, ViStatus status, const char *callText);

// The same, as the model's reporter for the session `vi`.
std::function<void(ViStatus, const char *)> driverStatusBoxes(ViSession vi);
