/*
 * A vendor VISA library for the pass-through tests: one resource, a fixed
 * identification, fixed handles, and a log of every call (one line each)
 * appended to the file named by STANDIN_VISA_LOG.
 *
 * Built a second time with STANDIN_WITHOUT_READ: a library that lacks a
 * function must not be used at all.
 */
#include "visa.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#define RM_HANDLE 0x5100u
#define LIST_HANDLE 0x5200u
#define SESSION_HANDLE 0x5300u

static const char resource[] = "GPIB0::7::INSTR"; /* one the built-in library does not serve */
static char lastWrite[64];

static void logCall(const char *format, const char *detail)
{
    const char *path = getenv("STANDIN_VISA_LOG");
    FILE *file = path ? fopen(path, "a") : NULL;
    if (!file) {
        return;
    }
    fprintf(file, format, detail ? detail : "");
    fputc('\n', file);
    fclose(file);
}

ViStatus _VI_FUNC viOpenDefaultRM(ViPSession vi)
{
    logCall("viOpenDefaultRM", NULL);
    *vi = RM_HANDLE;
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viFindRsrc(ViSession sesn, ViConstString expr, ViPFindList vi, ViPUInt32 retCnt,
                             ViChar desc[])
{
    logCall("viFindRsrc %s", expr);
    if (sesn != RM_HANDLE) {
        return VI_ERROR_INV_OBJECT;
    }
    *vi = LIST_HANDLE;
    *retCnt = 1;
    strcpy(desc, resource);
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viFindNext(ViFindList vi, ViChar desc[])
{
    (void)desc;
    logCall("viFindNext", NULL);
    return vi == LIST_HANDLE ? VI_ERROR_RSRC_NFOUND : VI_ERROR_INV_OBJECT;
}

ViStatus _VI_FUNC viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout, ViPSession vi)
{
    (void)mode;
    (void)timeout;
    logCall("viOpen %s", name);
    if (sesn != RM_HANDLE) {
        return VI_ERROR_INV_OBJECT;
    }
    if (strcasecmp(name, resource) != 0) {
        return VI_ERROR_RSRC_NFOUND;
    }
    *vi = SESSION_HANDLE;
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viClose(ViObject vi)
{
    char text[16];
    snprintf(text, sizeof text, "0x%x", (unsigned)vi);
    logCall("viClose %s", text);
    return vi == RM_HANDLE || vi == LIST_HANDLE || vi == SESSION_HANDLE ? VI_SUCCESS : VI_ERROR_INV_OBJECT;
}

ViStatus _VI_FUNC viGetAttribute(ViObject vi, ViAttr attrName, void *attrValue)
{
    char text[16];
    snprintf(text, sizeof text, "0x%08x", (unsigned)attrName);
    logCall("viGetAttribute %s", text);
    if (vi != SESSION_HANDLE) {
        return VI_ERROR_INV_OBJECT;
    }
    if (attrName != VI_ATTR_INTF_TYPE) {
        return VI_ERROR_NSUP_ATTR;
    }
    *(ViUInt16 *)attrValue = VI_INTF_TCPIP;
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue)
{
    char text[40];
    snprintf(text, sizeof text, "0x%08x %lu", (unsigned)attrName, (unsigned long)attrValue);
    logCall("viSetAttribute %s", text);
    return vi == SESSION_HANDLE ? VI_SUCCESS : VI_ERROR_INV_OBJECT;
}

ViStatus _VI_FUNC viStatusDesc(ViObject vi, ViStatus status, ViChar desc[])
{
    (void)vi;
    logCall("viStatusDesc", NULL);
    snprintf(desc, 256, "stand-in text for 0x%08x", (unsigned)status);
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt)
{
    const size_t n = cnt < sizeof lastWrite - 1 ? cnt : sizeof lastWrite - 1;
    memcpy(lastWrite, buf, n);
    lastWrite[n] = '\0';
    logCall("viWrite %s", lastWrite);
    if (vi != SESSION_HANDLE) {
        return VI_ERROR_INV_OBJECT;
    }
    *retCnt = cnt;
    return VI_SUCCESS;
}

#ifndef STANDIN_WITHOUT_READ
static const char identification[] = "Stand-in Instruments,Model 7,0001,0.1\n";

ViStatus _VI_FUNC viRead(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPUInt32 retCnt)
{
    logCall("viRead", NULL);
    if (vi != SESSION_HANDLE) {
        return VI_ERROR_INV_OBJECT;
    }
    if (strcmp(lastWrite, "*IDN?") != 0) {
        return VI_ERROR_TMO;
    }
    const size_t n = strlen(identification) < cnt ? strlen(identification) : cnt;
    memcpy(buf, identification, n);
    *retCnt = (ViUInt32)n;
    return VI_SUCCESS;
}
#endif
