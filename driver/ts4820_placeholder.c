/*
 * Placeholder ts4820 driver: this build has no way to reach a unit yet.
 * Every call returns ts4820_ERROR_NOT_AVAILABLE, except ts4820_error_message,
 * which explains that status, and ts4820_revision_query with session 0,
 * which names this library, so the About dialog can say what is running.
 */
#include "ts4820.h"

#include <stdio.h>
#include <string.h>

#define NOT_AVAILABLE return ts4820_ERROR_NOT_AVAILABLE

static void copyText(ViChar *dst, size_t size, const char *src)
{
    if (dst) {
        snprintf(dst, size, "%s", src);
    }
}

ViStatus _VI_FUNC ts4820_init(ViRsrc resourceName, ViBoolean IDQuery, ViBoolean resetDevice,
                              ViPSession vi)
{
    (void)resourceName;
    (void)IDQuery;
    (void)resetDevice;
    if (vi) {
        *vi = 0;
    }
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC ts4820_close(ViSession vi) { (void)vi; NOT_AVAILABLE; }
ViStatus _VI_FUNC ts4820_reset(ViSession vi) { (void)vi; NOT_AVAILABLE; }
ViStatus _VI_FUNC ts4820_identify(ViSession vi, ViBoolean state)
{
    (void)vi;
    (void)state;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC ts4820_error_message(ViSession vi, ViStatus statusCode, ViChar errorMessage[])
{
    (void)vi;
    char text[ts4820_ERROR_MESSAGE_BUFFER_SIZE];
    if (statusCode == VI_SUCCESS) {
        snprintf(text, sizeof text, "No error.");
    } else if (statusCode == ts4820_ERROR_NOT_AVAILABLE) {
        snprintf(text, sizeof text,
                 "The instrument driver is not available in this build (placeholder library).");
    } else {
        snprintf(text, sizeof text, "Unknown status code 0x%08x.", (unsigned)statusCode);
    }
    copyText(errorMessage, ts4820_ERROR_MESSAGE_BUFFER_SIZE, text);
    return VI_SUCCESS;
}

ViStatus _VI_FUNC ts4820_revision_query(ViSession vi, ViChar driverRev[], ViChar instrRev[])
{
    copyText(driverRev, ts4820_REVISION_BUFFER_SIZE, "0.0.0 (placeholder)");
    if (vi == 0) {
        return VI_SUCCESS;
    }
    (void)instrRev;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC ts4820_getAttribute(ViSession vi, ViAttr attribute, ViPInt32 value)
{
    (void)vi;
    (void)attribute;
    (void)value;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC ts4820_getStringAttribute(ViSession vi, ViAttr attribute, ViChar value[])
{
    (void)vi;
    (void)attribute;
    (void)value;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC ts4820_getMatrixState(ViSession vi, ViInt32 pattern[])
{
    (void)vi;
    (void)pattern;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC ts4820_setMatrixState(ViSession vi, ViInt32 pattern[])
{
    (void)vi;
    (void)pattern;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC ts4820_getAlias(ViSession vi, ViInt32 line, ViInt32 row, ViChar aliases[])
{
    (void)vi;
    (void)line;
    (void)row;
    (void)aliases;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC ts4820_setAlias(ViSession vi, ViInt32 line, ViInt32 row, ViConstString text)
{
    (void)vi;
    (void)line;
    (void)row;
    (void)text;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC ts4820_getVoltRefInfo(ViSession vi, ViPInt32 count, ViReal64 voltages[])
{
    (void)vi;
    (void)count;
    (void)voltages;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC ts4820_getVoltRefOutput(ViSession vi, ViPReal64 volts)
{
    (void)vi;
    (void)volts;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC ts4820_setVoltRefOutput(ViSession vi, ViReal64 volts)
{
    (void)vi;
    (void)volts;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC ts4820_getVoltRefConnectionState(ViSession vi, ViInt32 line, ViPBoolean state)
{
    (void)vi;
    (void)line;
    (void)state;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC ts4820_setVoltRefConnectionState(ViSession vi, ViInt32 line, ViBoolean state)
{
    (void)vi;
    (void)line;
    (void)state;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC ts4820_getPresetList(ViSession vi, ViPInt32 count)
{
    (void)vi;
    (void)count;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC ts4820_getPresetFromList(ViSession vi, ViInt32 index, ViChar name[])
{
    (void)vi;
    (void)index;
    (void)name;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC ts4820_getDefaultPresetName(ViSession vi, ViChar name[])
{
    (void)vi;
    (void)name;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC ts4820_storePreset(ViSession vi, ViConstString name)
{
    (void)vi;
    (void)name;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC ts4820_restorePreset(ViSession vi, ViConstString name)
{
    (void)vi;
    (void)name;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC ts4820_removePreset(ViSession vi, ViConstString name)
{
    (void)vi;
    (void)name;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC ts4820_savePresetToFile(ViSession vi, ViConstString name, ViConstString path)
{
    (void)vi;
    (void)name;
    (void)path;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC ts4820_loadPresetFromFile(ViSession vi, ViConstString path)
{
    (void)vi;
    (void)path;
    NOT_AVAILABLE;
}
