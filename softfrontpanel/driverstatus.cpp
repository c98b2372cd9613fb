#include "driverstatus.h"

#include <QString>

#include "ts1900fp_app.h"
#include "ts4820.h"

ViStatus reportDriverStatus(ViSession vi, ViStatus status, const char *callText)
{
    if (status == VI_SUCCESS) {
        return status;
    }
    // Larger than the driver's documented size, so a long text is never cut.
    char text[1024] = {};
    ts4820_error_message(vi, status, text);
    text[sizeof text - 1] = '\0';
    if (status < 0) {
        ts1900fp_app::showErrorMessage(QString::asprintf("%s failed due to [%s]", callText, text));
    } else {
        ts1900fp_app::showWarningMessage(QString::asprintf("Warning: [%s]", text));
    }
    return status;
}

std::function<void(ViStatus, const char *)> driverStatusBoxes(ViSession vi)
{
    return [vi](ViStatus status, const char *callText) { reportDriverStatus(vi, status, callText); };
}
