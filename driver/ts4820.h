/*
 * ts4820: instrument driver of the Xentra 4820 LXI matrix switching unit.
 *
 * VXIplug&play style C API. Every function returns a ViStatus: 0 is success,
 * a negative value an error, a positive value a warning. VISA statuses are
 * passed through unchanged; the driver's own statuses lie in the
 * instrument-specific ranges (errors from VI_INSTR_ERROR_OFFSET, warnings
 * from VI_INSTR_WARNING_OFFSET).
 *
 * The session returned by ts4820_init is the VISA session itself, so callers
 * may read its VISA attributes with viGetAttribute.
 *
 * Buffers: every text buffer the driver fills has the size given by the
 * ts4820_*_BUFFER_SIZE constants below (terminating NUL included). The driver
 * never writes past that size, whatever the unit replies.
 */
#pragma once

#include "visa.h"

#if defined(_WIN32) && defined(TS4820_BUILDING_DRIVER)
#define TS4820_API __declspec(dllexport)
#elif defined(_WIN32)
#define TS4820_API __declspec(dllimport)
#else
#define TS4820_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- buffer sizes (bytes, terminating NUL included) ------------------ */
#define ts4820_ERROR_MESSAGE_BUFFER_SIZE 256
#define ts4820_REVISION_BUFFER_SIZE 64
#define ts4820_STRING_ATTRIBUTE_BUFFER_SIZE 256
#define ts4820_PRESET_NAME_BUFFER_SIZE 64
/* ts4820_getAlias: (rows + 2) * 96 bytes; rows is 96 or 192 by subtype. */
#define ts4820_ALIAS_BUFFER_SIZE(rows) (((rows) + 2) * 96)
#define ts4820_MAX_VREF_VOLTAGES 64

/* ---- attribute ids ---------------------------------------------------- */
#define ts4820_ATTR_DESCRIPTION 256
#define ts4820_ATTR_ASSET_NO 257
#define ts4820_ATTR_CURRENT_HOSTNAME 288
#define ts4820_ATTR_CURRENT_IPADDR 289
#define ts4820_ATTR_CURRENT_NETMASK 290
#define ts4820_ATTR_CURRENT_GATEWAY 291
#define ts4820_ATTR_CURRENT_DNS1 292
#define ts4820_ATTR_CURRENT_DNS2 293
#define ts4820_ATTR_LXI_CLASS 305
#define ts4820_ATTR_PRODUCT 307
#define ts4820_ATTR_SUB_TYPE 308
#define ts4820_ATTR_ETH_ADDR 309
#define ts4820_ATTR_SER_NUM 320

/* ---- line groups (1-based, as ts4820_setAlias and the VRef calls take) */
#define ts4820_LINE_X 1
#define ts4820_LINE_Y 2
#define ts4820_LINE_A 3
#define ts4820_LINE_B 4
#define ts4820_LINE_C 5
#define ts4820_LINE_D 6

/* ---- driver statuses -------------------------------------------------- */
/* The driver cannot work in this build (kept for callers that test it). */
#define ts4820_ERROR_NOT_AVAILABLE (VI_INSTR_ERROR_OFFSET + 0x00L)
/* The unit replied with something the driver could not parse. */
#define ts4820_ERROR_BAD_REPLY (VI_INSTR_ERROR_OFFSET + 0x01L)
/* The unit reported an error for the command (see its error queue). */
#define ts4820_ERROR_INSTRUMENT (VI_INSTR_ERROR_OFFSET + 0x02L)
/* An argument is out of range (line, row, index, name). */
#define ts4820_ERROR_INVALID_ARGUMENT (VI_INSTR_ERROR_OFFSET + 0x03L)
/* A preset of that name does not exist. */
#define ts4820_ERROR_NO_SUCH_PRESET (VI_INSTR_ERROR_OFFSET + 0x04L)
/* A preset file could not be read or written. */
#define ts4820_ERROR_FILE (VI_INSTR_ERROR_OFFSET + 0x05L)
/* The unit has no voltage reference. */
#define ts4820_ERROR_NO_VREF (VI_INSTR_ERROR_OFFSET + 0x06L)
/* A reply did not fit the caller's buffer and was cut. */
#define ts4820_WARN_TRUNCATED (VI_INSTR_WARNING_OFFSET + 0x00L)

/* ---- session ---------------------------------------------------------- */
TS4820_API ViStatus _VI_FUNC ts4820_init(ViRsrc resourceName, ViBoolean IDQuery, ViBoolean resetDevice,
                                         ViPSession vi);
TS4820_API ViStatus _VI_FUNC ts4820_close(ViSession vi);
TS4820_API ViStatus _VI_FUNC ts4820_reset(ViSession vi);
TS4820_API ViStatus _VI_FUNC ts4820_identify(ViSession vi, ViBoolean state);
/* errorMessage: ts4820_ERROR_MESSAGE_BUFFER_SIZE bytes. vi may be 0. */
TS4820_API ViStatus _VI_FUNC ts4820_error_message(ViSession vi, ViStatus statusCode, ViChar errorMessage[]);
/* Each buffer ts4820_REVISION_BUFFER_SIZE bytes, or VI_NULL to skip it.
   With vi 0 only the driver revision is delivered. */
TS4820_API ViStatus _VI_FUNC ts4820_revision_query(ViSession vi, ViChar driverRev[], ViChar instrRev[]);

/* ---- attributes ------------------------------------------------------- */
TS4820_API ViStatus _VI_FUNC ts4820_getAttribute(ViSession vi, ViAttr attribute, ViPInt32 value);
/* value: ts4820_STRING_ATTRIBUTE_BUFFER_SIZE bytes. */
TS4820_API ViStatus _VI_FUNC ts4820_getStringAttribute(ViSession vi, ViAttr attribute, ViChar value[]);

/* ---- relays ----------------------------------------------------------- */
/* pattern: rows * 6 / 32 words (18 or 36). Relay (group g, row r) is bit
   b = g * rows + r - 1 with g 0 = X, 1 = Y, 2..5 = A..D and r 1..rows;
   bit b is bit b % 32 of word b / 32; a set bit is a closed relay. */
TS4820_API ViStatus _VI_FUNC ts4820_getMatrixState(ViSession vi, ViInt32 pattern[]);
TS4820_API ViStatus _VI_FUNC ts4820_setMatrixState(ViSession vi, ViInt32 pattern[]);

/* ---- aliases ---------------------------------------------------------- */
/* line 0 and row 0: every alias as lines "NAME=text" joined by ",", into
   ts4820_ALIAS_BUFFER_SIZE(rows) bytes. line ts4820_LINE_X..ts4820_LINE_D
   with row 1..rows (ignored for buses): the text of that one line. */
TS4820_API ViStatus _VI_FUNC ts4820_getAlias(ViSession vi, ViInt32 line, ViInt32 row, ViChar aliases[]);
/* line ts4820_LINE_X..ts4820_LINE_D, row 1..rows (ignored for buses);
   an empty text clears the alias. */
TS4820_API ViStatus _VI_FUNC ts4820_setAlias(ViSession vi, ViInt32 line, ViInt32 row, ViConstString text);

/* ---- voltage reference ------------------------------------------------ */
/* voltages: ts4820_MAX_VREF_VOLTAGES entries; count 0 = no reference. */
TS4820_API ViStatus _VI_FUNC ts4820_getVoltRefInfo(ViSession vi, ViPInt32 count, ViReal64 voltages[]);
TS4820_API ViStatus _VI_FUNC ts4820_getVoltRefOutput(ViSession vi, ViPReal64 volts);
TS4820_API ViStatus _VI_FUNC ts4820_setVoltRefOutput(ViSession vi, ViReal64 volts);
/* line ts4820_LINE_A..ts4820_LINE_D. */
TS4820_API ViStatus _VI_FUNC ts4820_getVoltRefConnectionState(ViSession vi, ViInt32 line, ViPBoolean state);
TS4820_API ViStatus _VI_FUNC ts4820_setVoltRefConnectionState(ViSession vi, ViInt32 line, ViBoolean state);

/* ---- presets ---------------------------------------------------------- */
TS4820_API ViStatus _VI_FUNC ts4820_getPresetList(ViSession vi, ViPInt32 count);
/* name: ts4820_PRESET_NAME_BUFFER_SIZE bytes; index 0..count-1. */
TS4820_API ViStatus _VI_FUNC ts4820_getPresetFromList(ViSession vi, ViInt32 index, ViChar name[]);
/* name: ts4820_PRESET_NAME_BUFFER_SIZE bytes. */
TS4820_API ViStatus _VI_FUNC ts4820_getDefaultPresetName(ViSession vi, ViChar name[]);
TS4820_API ViStatus _VI_FUNC ts4820_storePreset(ViSession vi, ViConstString name);
TS4820_API ViStatus _VI_FUNC ts4820_restorePreset(ViSession vi, ViConstString name);
TS4820_API ViStatus _VI_FUNC ts4820_removePreset(ViSession vi, ViConstString name);
TS4820_API ViStatus _VI_FUNC ts4820_savePresetToFile(ViSession vi, ViConstString name, ViConstString path);
TS4820_API ViStatus _VI_FUNC ts4820_loadPresetFromFile(ViSession vi, ViConstString path);

#ifdef __cplusplus
}
#endif
