// Texts for viStatusDesc: the constant's name first, so a log line can be
// searched for, then what it means to the person reading it.
#include "statusdesc.h"

#include <cstdio>
#include <cstring>

namespace tsvisa {

namespace {

struct Text
{
    ViStatus status;
    const char *text;
};

#define ENTRY(name, text)                                                                                    \
    {                                                                                                        \
        ViStatus(name), #name ": " text                                                                      \
    }

const Text kTexts[] = {
    ENTRY(VI_SUCCESS, "The operation completed successfully."),
    ENTRY(VI_SUCCESS_TERM_CHAR, "The read stopped at the termination character."),
    ENTRY(VI_SUCCESS_MAX_CNT, "The read filled the buffer; more data may follow."),
    ENTRY(VI_SUCCESS_DEV_NPRESENT, "The session is open, but the device does not answer."),
    ENTRY(VI_WARN_NULL_OBJECT, "The handle given was VI_NULL; nothing was done."),
    ENTRY(VI_WARN_NSUP_ATTR_STATE, "The attribute value is not supported; it was not set."),
    ENTRY(VI_WARN_UNKNOWN_STATUS, "The status code is not known to this library."),
    ENTRY(VI_ERROR_SYSTEM_ERROR, "The operating system refused a resource the library needs."),
    ENTRY(VI_ERROR_INV_OBJECT, "The handle is not that of an open session, search or resource manager."),
    ENTRY(VI_ERROR_RSRC_LOCKED, "The device is locked by another session."),
    ENTRY(VI_ERROR_INV_EXPR, "The search expression is not valid."),
    ENTRY(VI_ERROR_RSRC_NFOUND,
          "No such resource: the device or service was not found, or refused the connection."),
    ENTRY(VI_ERROR_INV_RSRC_NAME, "The resource name is not valid."),
    ENTRY(VI_ERROR_INV_ACC_MODE, "The access mode is not supported."),
    ENTRY(VI_ERROR_TMO, "The time-out expired before the operation completed."),
    ENTRY(VI_ERROR_CLOSING_FAILED, "The handle could not be closed."),
    ENTRY(VI_ERROR_NSUP_ATTR, "The attribute is not supported by this kind of session."),
    ENTRY(VI_ERROR_NSUP_ATTR_STATE, "The attribute cannot take that value."),
    ENTRY(VI_ERROR_ATTR_READONLY, "The attribute can be read but not set."),
    ENTRY(VI_ERROR_ABORT, "The device aborted the operation."),
    ENTRY(VI_ERROR_INV_SETUP, "The device or connection is not set up for this operation."),
    ENTRY(VI_ERROR_ALLOC, "Not enough memory or device resources for the operation."),
    ENTRY(VI_ERROR_IO, "An error occurred during the transfer; the device or its answer was faulty."),
    ENTRY(VI_ERROR_NSUP_OPER, "The operation is not supported by this kind of session or device."),
    ENTRY(VI_ERROR_RSRC_BUSY, "The device exists but accepts no further connection now."),
    ENTRY(VI_ERROR_INV_PARAMETER, "A parameter of the call is not valid."),
    ENTRY(VI_ERROR_SESN_NLOCKED, "The session holds no lock on the device."),
    ENTRY(VI_ERROR_LIBRARY_NFOUND, "The VISA library, or a function in it, could not be loaded."),
    ENTRY(VI_ERROR_CONN_LOST, "The connection to the device was lost."),
    ENTRY(VI_WARN_NSUP_ID_QUERY, "The instrument driver does not support the identification query."),
    ENTRY(VI_WARN_NSUP_RESET, "The instrument driver does not support reset."),
    ENTRY(VI_WARN_NSUP_SELF_TEST, "The instrument driver does not support the self-test."),
    ENTRY(VI_WARN_NSUP_ERROR_QUERY, "The instrument driver does not support the error query."),
    ENTRY(VI_WARN_NSUP_REV_QUERY, "The instrument driver does not support the revision query."),
    ENTRY(VI_ERROR_PARAMETER1, "Parameter 1 of the driver call is out of range."),
    ENTRY(VI_ERROR_PARAMETER2, "Parameter 2 of the driver call is out of range."),
    ENTRY(VI_ERROR_PARAMETER3, "Parameter 3 of the driver call is out of range."),
    ENTRY(VI_ERROR_PARAMETER4, "Parameter 4 of the driver call is out of range."),
    ENTRY(VI_ERROR_FAIL_ID_QUERY, "The instrument's identification is not the one expected."),
    ENTRY(VI_ERROR_INV_RESPONSE, "The instrument's response could not be interpreted."),
};

#undef ENTRY

} // namespace

ViStatus describeStatus(ViStatus status, ViChar desc[])
{
    for (const Text &t : kTexts) {
        if (t.status == status) {
            std::snprintf(desc, VI_FIND_BUFLEN, "%s", t.text);
            return VI_SUCCESS;
        }
    }
    std::snprintf(desc, VI_FIND_BUFLEN, "Unknown status code 0x%08X.", unsigned(status));
    return VI_WARN_UNKNOWN_STATUS;
}

} // namespace tsvisa
