/*
 * VISA: the standard C types, constants and functions this system uses.
 *
 * Code written against a vendor's visa.h compiles unchanged against this one:
 * names and values follow the published VISA standard.
 */
#pragma once

#include <stdint.h>

#if defined(_WIN32)
#define _VI_FUNC __stdcall
#define _VI_FUNCC __cdecl
#else
#define _VI_FUNC
#define _VI_FUNCC
#endif
#define _VI_FAR
#define _VI_PTR *

#ifdef __cplusplus
extern "C" {
#endif

/* ---- base types ------------------------------------------------------- */
typedef uint32_t ViUInt32;
typedef int32_t ViInt32;
typedef uint16_t ViUInt16;
typedef int16_t ViInt16;
typedef uint8_t ViUInt8;
typedef int8_t ViInt8;
typedef char ViChar;
typedef unsigned char ViByte;
typedef void *ViAddr;
typedef float ViReal32;
typedef double ViReal64;
typedef ViUInt16 ViBoolean;

typedef ViUInt32 *ViPUInt32;
typedef ViInt32 *ViPInt32;
typedef ViUInt16 *ViPUInt16;
typedef ViInt16 *ViPInt16;
typedef ViChar *ViPChar;
typedef ViByte *ViPByte;
typedef ViReal64 *ViPReal64;
typedef ViBoolean *ViPBoolean;
typedef ViAddr *ViPAddr;

typedef ViChar *ViString;
typedef const ViChar *ViConstString;
typedef ViString ViRsrc;
typedef ViConstString ViConstRsrc;
typedef ViByte *ViBuf;
typedef const ViByte *ViConstBuf;
typedef ViByte *ViPBuf;

typedef ViInt32 ViStatus;
typedef ViUInt32 ViObject;
typedef ViObject ViSession;
typedef ViUInt32 ViAttr;
typedef ViUInt32 ViAccessMode;
typedef ViObject ViFindList;
typedef ViStatus *ViPStatus;
typedef ViSession *ViPSession;
typedef ViFindList *ViPFindList;

#if defined(_WIN64) || defined(__LP64__) || defined(_LP64)
typedef uint64_t ViAttrState;
#else
typedef ViUInt32 ViAttrState;
#endif

/* ---- completion and error codes -------------------------------------- */
#define _VI_ERROR (-2147483647L - 1) /* 0x80000000 */

#define VI_NULL 0
#define VI_TRUE 1
#define VI_FALSE 0
#define VI_SUCCESS 0L

#define VI_SUCCESS_TERM_CHAR 0x3FFF0005L
#define VI_SUCCESS_MAX_CNT 0x3FFF0006L
#define VI_SUCCESS_DEV_NPRESENT 0x3FFF007DL
#define VI_WARN_NULL_OBJECT 0x3FFF0082L
#define VI_WARN_NSUP_ATTR_STATE 0x3FFF0084L
#define VI_WARN_UNKNOWN_STATUS 0x3FFF0085L

#define VI_ERROR_SYSTEM_ERROR (_VI_ERROR + 0x3FFF0000L)
#define VI_ERROR_INV_OBJECT (_VI_ERROR + 0x3FFF000EL)
#define VI_ERROR_INV_SESSION VI_ERROR_INV_OBJECT
#define VI_ERROR_RSRC_LOCKED (_VI_ERROR + 0x3FFF000FL)
#define VI_ERROR_INV_EXPR (_VI_ERROR + 0x3FFF0010L)
#define VI_ERROR_RSRC_NFOUND (_VI_ERROR + 0x3FFF0011L)
#define VI_ERROR_INV_RSRC_NAME (_VI_ERROR + 0x3FFF0012L)
#define VI_ERROR_INV_ACC_MODE (_VI_ERROR + 0x3FFF0013L)
#define VI_ERROR_TMO (_VI_ERROR + 0x3FFF0015L)
#define VI_ERROR_CLOSING_FAILED (_VI_ERROR + 0x3FFF0016L)
#define VI_ERROR_NSUP_ATTR (_VI_ERROR + 0x3FFF001DL)
#define VI_ERROR_NSUP_ATTR_STATE (_VI_ERROR + 0x3FFF001EL)
#define VI_ERROR_ATTR_READONLY (_VI_ERROR + 0x3FFF001FL)
#define VI_ERROR_ABORT (_VI_ERROR + 0x3FFF0030L)
#define VI_ERROR_INV_SETUP (_VI_ERROR + 0x3FFF003AL)
#define VI_ERROR_ALLOC (_VI_ERROR + 0x3FFF003CL)
#define VI_ERROR_IO (_VI_ERROR + 0x3FFF003EL)
#define VI_ERROR_NSUP_OPER (_VI_ERROR + 0x3FFF0067L)
#define VI_ERROR_RSRC_BUSY (_VI_ERROR + 0x3FFF0072L)
#define VI_ERROR_INV_PARAMETER (_VI_ERROR + 0x3FFF0078L)
#define VI_ERROR_SESN_NLOCKED (_VI_ERROR + 0x3FFF009CL)
#define VI_ERROR_LIBRARY_NFOUND (_VI_ERROR + 0x3FFF009EL)
#define VI_ERROR_CONN_LOST (_VI_ERROR + 0x3FFF00A6L)

/* Instrument-driver ranges (VXIplug&play). */
#define VI_INSTR_WARNING_OFFSET 0x3FFC0900L
#define VI_INSTR_ERROR_OFFSET (_VI_ERROR + 0x3FFC0900L)

#define VI_WARN_NSUP_ID_QUERY 0x3FFC0101L
#define VI_WARN_NSUP_RESET 0x3FFC0102L
#define VI_WARN_NSUP_SELF_TEST 0x3FFC0103L
#define VI_WARN_NSUP_ERROR_QUERY 0x3FFC0104L
#define VI_WARN_NSUP_REV_QUERY 0x3FFC0105L
#define VI_ERROR_PARAMETER1 (_VI_ERROR + 0x3FFC0001L)
#define VI_ERROR_PARAMETER2 (_VI_ERROR + 0x3FFC0002L)
#define VI_ERROR_PARAMETER3 (_VI_ERROR + 0x3FFC0003L)
#define VI_ERROR_PARAMETER4 (_VI_ERROR + 0x3FFC0004L)
#define VI_ERROR_FAIL_ID_QUERY (_VI_ERROR + 0x3FFC0011L)
#define VI_ERROR_INV_RESPONSE (_VI_ERROR + 0x3FFC0012L)

/* ---- attributes ------------------------------------------------------- */
#define VI_ATTR_RSRC_NAME 0xBFFF0002UL
#define VI_ATTR_TMO_VALUE 0x3FFF001AUL
#define VI_ATTR_TERMCHAR 0x3FFF0018UL
#define VI_ATTR_TERMCHAR_EN 0x3FFF0038UL
#define VI_ATTR_SLOT 0x3FFF00E8UL
#define VI_ATTR_INTF_TYPE 0x3FFF0171UL
#define VI_ATTR_INTF_NUM 0x3FFF0176UL
#define VI_ATTR_TCPIP_ADDR 0xBFFF0195UL
#define VI_ATTR_TCPIP_HOSTNAME 0xBFFF0196UL
#define VI_ATTR_TCPIP_PORT 0x3FFF0197UL
#define VI_ATTR_TCPIP_DEVICE_NAME 0xBFFF0199UL

/* Interface types (VI_ATTR_INTF_TYPE). */
#define VI_INTF_GPIB 1
#define VI_INTF_VXI 2
#define VI_INTF_GPIB_VXI 3
#define VI_INTF_ASRL 4
#define VI_INTF_PXI 5
#define VI_INTF_TCPIP 6
#define VI_INTF_USB 7

#define VI_TMO_IMMEDIATE 0L
#define VI_TMO_INFINITE 0xFFFFFFFFUL
#define VI_NO_LOCK 0L
#define VI_EXCLUSIVE_LOCK 1L
#define VI_SHARED_LOCK 2L
#define VI_LOAD_CONFIG 4L
#define VI_UNKNOWN_SLOT (-1)
#define VI_FIND_BUFLEN 256

/* ---- functions -------------------------------------------------------- */
ViStatus _VI_FUNC viOpenDefaultRM(ViPSession vi);
ViStatus _VI_FUNC viFindRsrc(ViSession sesn, ViConstString expr, ViPFindList vi, ViPUInt32 retCnt,
                             ViChar desc[]);
ViStatus _VI_FUNC viFindNext(ViFindList vi, ViChar desc[]);
ViStatus _VI_FUNC viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                         ViPSession vi);
ViStatus _VI_FUNC viClose(ViObject vi);
ViStatus _VI_FUNC viGetAttribute(ViObject vi, ViAttr attrName, void *attrValue);
ViStatus _VI_FUNC viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue);
ViStatus _VI_FUNC viStatusDesc(ViObject vi, ViStatus status, ViChar desc[]);
ViStatus _VI_FUNC viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt);
ViStatus _VI_FUNC viRead(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPUInt32 retCnt);

#ifdef __cplusplus
}
#endif
