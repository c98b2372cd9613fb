/*
 * Placeholder VISA: this build has no VISA that reaches instruments yet.
 * The resource manager cannot be opened (VI_ERROR_LIBRARY_NFOUND), so a
 * search finds nothing and the panel offers to try again or run in demo
 * mode instead of failing in some less clear way.
 */
#include "visa.h"

#include <stdio.h>

#define NOT_AVAILABLE return VI_ERROR_LIBRARY_NFOUND

ViStatus _VI_FUNC viOpenDefaultRM(ViPSession vi)
{
    if (vi) {
        *vi = 0;
    }
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC viFindRsrc(ViSession sesn, ViConstString expr, ViPFindList vi, ViPUInt32 retCnt,
                             ViChar desc[])
{
    (void)sesn;
    (void)expr;
    (void)vi;
    (void)retCnt;
    (void)desc;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC viFindNext(ViFindList vi, ViChar desc[])
{
    (void)vi;
    (void)desc;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                         ViPSession vi)
{
    (void)sesn;
    (void)name;
    (void)mode;
    (void)timeout;
    if (vi) {
        *vi = 0;
    }
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC viClose(ViObject vi)
{
    (void)vi;
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viGetAttribute(ViObject vi, ViAttr attrName, void *attrValue)
{
    (void)vi;
    (void)attrName;
    (void)attrValue;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue)
{
    (void)vi;
    (void)attrName;
    (void)attrValue;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC viStatusDesc(ViObject vi, ViStatus status, ViChar desc[])
{
    (void)vi;
    if (desc) {
        snprintf(desc, VI_FIND_BUFLEN, status == VI_ERROR_LIBRARY_NFOUND
                                           ? "No VISA library is available in this build."
                                           : "Unknown status 0x%08x.",
                 (unsigned)status);
    }
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt)
{
    (void)vi;
    (void)buf;
    (void)cnt;
    (void)retCnt;
    NOT_AVAILABLE;
}

ViStatus _VI_FUNC viRead(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPUInt32 retCnt)
{
    (void)vi;
    (void)buf;
    (void)cnt;
    (void)retCnt;
    NOT_AVAILABLE;
}
