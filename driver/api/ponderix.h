/* The driver's C interface: plain C types only, callable from C, C#, Delphi, Visual Basic, Java,
 * Python (ctypes) and C++ built with any compiler. It lives in the same library as the C++
 * exports and runs through the same call frame: nothing thrown crosses it, handles are checked
 * and every call on a device holds that device for its length.
 *
 * Conventions
 * - Every function returns an int result code: PDX_OK (0), one of the library's result codes
 *   (the same numbers as the C++ ErrorCase, 1..38), or one of the C interface's own (100..107).
 *   The enumeration below lists every code; pdx_result_name names each, and
 *   pdx_get_error_description describes each in English or Russian.
 * - Handles: 0 gives PDX_HANDLE_NULL; a number that was never issued by pdx_create, or whose
 *   device was destroyed, gives PDX_HANDLE_DOES_NOT_EXIST, on every call.
 * - A device that is not open (before pdx_open, after pdx_close, or after a failed open)
 *   answers PDX_NOT_OPEN to every call that needs the line.
 * - Texts in and out are UTF-8 and NUL-terminated.
 * - A text output goes into the caller's buffer `buffer` of `size` bytes; `needed` (may be
 *   NULL) receives the size the whole text takes, its NUL included. When `size` is smaller,
 *   the call returns PDX_BUFFER_TOO_SMALL and writes nothing into the buffer.
 * - A device handle is a number, never 0 and never reused within the process.
 * - Threads: one handle may be shared by threads; calls on it are serialised (each call holds
 *   the device for its length). The library starts no thread that outlives a call and never
 *   calls back: a call that waits (pdx_read_sale_weight, pdx_wait_status) blocks the calling
 *   thread for at most its time-out plus one exchange.
 * - Weights are signed milligrams (int64_t) wherever a number is given.
 * - On Windows the functions use the __cdecl calling convention.
 * - The library's file: driver.dll on Windows (driver.dll of the 32-bit build for 32-bit
 *   programs), libdriver.so.1 on Linux. The runtime package installs only libdriver.so.1 (the
 *   unversioned libdriver.so comes with the development package), so a program that loads the
 *   library by name loads "libdriver.so.1" (C#: DllImport("libdriver.so.1"); the bindings in
 *   share/ponderix/bindings do this).
 */
#ifndef PONDERIX_PONDERIX_H
#define PONDERIX_PONDERIX_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(DRIVER_BUILDING)
#    define PDX_API __declspec(dllexport)
#  else
#    define PDX_API __declspec(dllimport)
#  endif
#  define PDX_CALL __cdecl
#else
#  define PDX_API __attribute__((visibility("default")))
#  define PDX_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int64_t pdx_handle;

/* Result codes: every code a function of this interface can return. 1..38 are the library's own
 * (the C++ ErrorCase; the few no C function returns are listed all the same); 100..107 belong
 * to the C interface. pdx_result_name gives "IncorrectArguments" for PDX_INCORRECT_ARGUMENTS,
 * and so on: the constant's words. */
enum {
  PDX_OK = 0,
  PDX_UNSET = 1,
  PDX_ERROR_CASE_UNKNOWN = 2,        /* pdx_get_error_description: no such code */
  PDX_INCORRECT_ARGUMENTS = 3,       /* a NULL pointer or a value out of range */
  PDX_CONNECTION_ERROR = 4,          /* the line failed during an exchange */
  PDX_UNABLE_TO_OPEN_SERIAL_PORT = 5,
  PDX_UNKNOWN_SYSTEM_ERROR = 6,      /* another failure of the line (the system's error) */
  PDX_TIME_OUT = 7,                  /* the scale did not answer within the transfer time-out */
  PDX_HANDLE_NULL = 8,
  PDX_HANDLE_INVALID = 9,
  PDX_HANDLE_DOES_NOT_EXIST = 10,
  PDX_PARAM_TYPE_UNKNOWN = 11,
  PDX_PARAM_TYPE_UNSUPPORTED = 12,
  PDX_PARAM_TYPE_IS_NOT_SET_TO_GET = 13,
  PDX_OPTION_UNKNOWN = 14,
  PDX_OPTION_UNSUPPORTED = 15,
  PDX_OPTION_IS_NOT_SET_TO_GET = 16,
  PDX_PARAM_VALUE_UNKNOWN = 17,
  PDX_PARAM_VALUE_UNSUPPORTED = 18,
  PDX_PARAM_VALUE_UNSET = 19,
  PDX_COMMAND_UNKNOWN = 20,
  PDX_COMMAND_UNSUPPORTED = 21,      /* the protocol has no such command */
  PDX_DEVICE_RESPONSE_INCORRECT_FORMAT = 22,
  PDX_DEVICE_UNEXPECTED_RESPONSE = 23,
  PDX_DEVICE_RETURNS_ERROR = 24,
  PDX_DEVICE_IS_NOT_STABILIZED = 25,
  PDX_UNKNOWN_EXCEPTION = 26,
  PDX_OPEN_CHECK_VALUES_NOT_EQUAL = 27,
  PDX_JSON_KEY_MISSING = 28,
  PDX_JSON_ANOTHER_FILE_EXTENSION = 29,
  PDX_JSON_FILE_DOES_NOT_EXIST = 30,
  PDX_JSON_FILE_PARSING_PROBLEM = 31,
  PDX_COMMAND_LINE_INCORRECT_ARGUMENT = 32,
  PDX_UNABLE_TO_OPEN_FILE = 33,
  PDX_WRONG_MODEL_CHOSEN = 34,
  PDX_ESCAPE_CLICKED = 35,
  PDX_LOGIC_DEVICE_JSON_ERROR = 36,
  PDX_LOGIC_DEVICE_NOT_FOUND = 37,
  PDX_NOT_ALL_PARAMS_ARE_SET = 38,
  /* The caller's buffer cannot take the text; `needed` says how many bytes it takes. */
  PDX_BUFFER_TOO_SMALL = 100,
  /* Refusals of pdx_read_sale_weight: no weight a sale may use; `out` holds the last reading. */
  PDX_WEIGHT_UNSTABLE = 101,      /* no settled weight within the time-out */
  PDX_WEIGHT_UNDER_ZERO = 102,
  PDX_WEIGHT_OVERLOAD = 103,      /* beyond the scale's range */
  PDX_WEIGHT_BELOW_MINIMUM = 104,
  PDX_WEIGHT_SAME = 105,          /* the load has not been taken off since the last sale weight */
  PDX_WEIGHT_ZERO = 106,          /* nothing on the platform */
  PDX_NOT_OPEN = 107              /* the device is not open: call pdx_open (or pdx_open_line) */
};

/* Status of a reading (the numbers of the point-of-sale device standards). */
enum {
  PDX_STATUS_STABLE = 11,      /* settled, above zero, at or above the minimum */
  PDX_STATUS_UNSTABLE = 12,    /* not settled (also a protocol that reads 0 while settling) */
  PDX_STATUS_ZERO = 13,        /* settled at zero (within half a division where it is known) */
  PDX_STATUS_OVERLOAD = 14,    /* beyond the scale's range */
  PDX_STATUS_NOT_READY = 15,   /* no answer: the call's result code says why */
  PDX_STATUS_UNDER_ZERO = 16,  /* settled below zero */
  PDX_STATUS_UNDERWEIGHT = 17  /* settled, above zero, below the minimum */
};

/* Parameter slots (set_param / get_param). */
enum {
  PDX_PARAM_SCALES_MODEL = 1,
  PDX_PARAM_FIRMWARE_VERSION1 = 2,
  PDX_PARAM_FIRMWARE_VERSION2 = 3,
  PDX_PARAM_PROTOCOL_VERSION = 4,
  PDX_PARAM_SERIAL_NUMBER = 5,
  PDX_PARAM_MAX_WEIGHT = 6,
  PDX_PARAM_DISCRET = 7,
  PDX_PARAM_UNIT_OF_MEASURE = 20,
  PDX_PARAM_WEIGHT_STATE = 22,
  PDX_PARAM_WEIGHT = 23,
  PDX_PARAM_TARE = 24
};

/* Commands (a selection; every number of the library's command list is accepted). */
enum {
  PDX_CMD_GET_SCALES_MODEL = 2,
  PDX_CMD_GET_FIRMWARE_VERSION1 = 4,
  PDX_CMD_GET_SERIAL_NUMBER = 9,
  PDX_CMD_GET_MAX_WEIGHT = 11,
  PDX_CMD_GET_PROTOCOL_AUTO = 49,
  PDX_CMD_STATUS_OF_WEIGHT_CHANNEL = 51,
  PDX_CMD_SET_ZERO = 52,
  PDX_CMD_SET_TARE = 53,
  /* The raw tare command takes the protocol's own text in PDX_PARAM_TARE: whole grams, a
   * number ("150", -32768..65535) on POS2MProV1, one to six digits ("150") on OKA, which reports
   * its tare back in kilograms ("0.150"); POS2M and CAS have none. pdx_specify_tare_mg takes
   * milligrams on every protocol. */
  PDX_CMD_SPECIFY_TARE = 54
};

/* Serial line options (set_option / get_option); values are decimal texts. */
enum {
  PDX_OPTION_BAUD_RATE = 1,
  PDX_OPTION_CHARACTER_SIZE = 2,
  PDX_OPTION_STOP_BITS = 3,
  PDX_OPTION_PARITY = 4,
  PDX_OPTION_FLOW_CONTROL = 5
};

/* Settings of a saved connection profile (logic device). */
enum {
  PDX_LD_IS_CURRENT = 0,
  PDX_LD_ID = 1,
  PDX_LD_NAME = 2,
  PDX_LD_CONNECTION_TYPE = 3, /* "Serial Port" or "TCP" */
  PDX_LD_END_POINT = 4,       /* "/dev/ttyUSB0", "COM3", "10.0.0.5", "10.0.0.5:4001" */
  PDX_LD_BAUD_RATE = 5,       /* "9600" or "4800" */
  PDX_LD_MODEL = 6,           /* "auto" or the model's number */
  PDX_LD_PROTOCOL = 7         /* POS2M, POS2MProV1, CAS-M, "CAS-M ProV1", CAS-M-Active, OKA, auto */
};

/* The texts a logic device and pdx_open_line take for the connection type, and for a protocol or
 * model the library finds out itself when the line opens. */
#define PDX_SERIAL_PORT "Serial Port"
#define PDX_TCP "TCP"
#define PDX_AUTO "auto"

/* Log modes of pdx_logging_set_mode: the lowest level written. The library starts at TRACE,
 * which writes every call and byte: about 2.7 KB of log per weight read. A till in service
 * wants WARNING. */
enum { PDX_LOG_TRACE = 0, PDX_LOG_INFO = 1, PDX_LOG_WARNING = 2, PDX_LOG_ERROR = 3 };

/* Languages of the result descriptions. */
enum { PDX_LANGUAGE_RUSSIAN = 1, PDX_LANGUAGE_ENGLISH = 2 };

/* A flag of a reading: what the protocol reports, or unknown where it reports nothing. */
enum { PDX_FLAG_NO = 0, PDX_FLAG_YES = 1, PDX_FLAG_UNKNOWN = -1 };

/* One weight reading, all of it from one status exchange. */
struct pdx_weight {
  char text[32];     /* the weight as the scale sent it: "1250" (POS, grams), "1.250" (CAS, OKA) */
  int64_t weight_mg; /* the weight in milligrams, signed; 0 when the scale reports overload */
  char unit[8];      /* the unit of `text`: "g", "kg" or "lb" */
  int stable;        /* PDX_FLAG_*: the weight has settled */
  int overload;      /* PDX_FLAG_*: the load is beyond the scale's range */
  int net;           /* PDX_FLAG_*: a tare is active, the weight is net */
  int tare_known;    /* 1 when the protocol reports the tare, then tare_mg holds it */
  int64_t tare_mg;
};

/* A reading classified for a sale (pdx_read_sale_weight). */
struct pdx_sale_weight {
  struct pdx_weight reading;
  uint64_t sequence;    /* sale weights this handle has handed out, from 1; 0 on a refusal */
  int64_t taken_at_ms;  /* wall-clock time of the exchange, Unix epoch [ms], UTC */
  int64_t minimum_mg;   /* the limits the checks used; 0 where unknown (that check skipped) */
  int64_t maximum_mg;
  int64_t division_mg;
  int status;           /* PDX_STATUS_* of `reading` */
};

/* What the opened protocol offers: each 0 or 1. The last two say what is known now. */
struct pdx_capabilities {
  int can_zero;
  int can_tare;
  int can_specify_tare;
  int reports_stable;
  int reports_overload;
  int reports_net;
  int reports_tare;
  int maximum_known;
  int division_known;
};

/* Device life cycle. */
PDX_API int PDX_CALL pdx_create(pdx_handle* handle);
PDX_API int PDX_CALL pdx_destroy(pdx_handle handle);
PDX_API int PDX_CALL pdx_open(pdx_handle handle, int logic_device_id);
/* Opens as pdx_open does with a logic device of these settings (same checks, detection, model
 * read and result codes), but writes nothing to the shared store of logic devices.
 * connection_type: "Serial Port" or "TCP"; protocol: a name of pdx_protocol_names or "auto";
 * baud_rate: 9600 or 4800 (ignored for TCP); model: "auto" or the model's number (NULL: "auto"). */
PDX_API int PDX_CALL pdx_open_line(pdx_handle handle, const char* connection_type, const char* end_point,
                                   const char* protocol, int baud_rate, const char* model);
PDX_API int PDX_CALL pdx_close(pdx_handle handle);
PDX_API int PDX_CALL pdx_is_open(pdx_handle handle, int* is_open);

/* Parameters, options and commands. */
PDX_API int PDX_CALL pdx_set_param(pdx_handle handle, int param, const char* value);
PDX_API int PDX_CALL pdx_get_param(pdx_handle handle, int param, char* buffer, size_t size, size_t* needed);
PDX_API int PDX_CALL pdx_get_input_param(pdx_handle handle, int param, char* buffer, size_t size, size_t* needed);
PDX_API int PDX_CALL pdx_set_option(pdx_handle handle, int option, const char* value);
PDX_API int PDX_CALL pdx_get_option(pdx_handle handle, int option, char* buffer, size_t size, size_t* needed);
PDX_API int PDX_CALL pdx_execute_command(pdx_handle handle, int command);
PDX_API int PDX_CALL pdx_get_protocol(pdx_handle handle, char* buffer, size_t size, size_t* needed);

/* One fresh status exchange in the device's protocol. On failure `out` is zeroed. */
PDX_API int PDX_CALL pdx_read_weight(pdx_handle handle, struct pdx_weight* out);

/* Weighing for a sale. A sale weight is a fresh reading, settled, not under zero, not beyond
 * the range, not zero, not below the minimum, and not the load of the last sale weight still
 * lying on the platform (zero return). See docs/weighing-for-a-sale.md.
 *
 * pdx_read_sale_weight takes readings back to back until one is settled or `timeout_ms` [ms]
 * has passed (0: exactly one exchange) and decides on the last: PDX_OK fills `out` with
 * sequence > 0; a refusal (101..106) leaves the last reading in `out`, sequence 0 and its
 * status. A failed exchange returns its code, with status PDX_STATUS_NOT_READY. */
PDX_API int PDX_CALL pdx_read_sale_weight(pdx_handle handle, int timeout_ms, struct pdx_sale_weight* out);
/* Limits in milligrams; 0 means "the scale's, where the protocol reports it, else unknown"
 * (the minimum then defaults to 20 divisions where the division is known). Negative:
 * PDX_PARAM_VALUE_UNSUPPORTED. */
PDX_API int PDX_CALL pdx_set_sale_limits(pdx_handle handle, int64_t minimum_mg, int64_t maximum_mg,
                                         int64_t division_mg);
/* One fresh exchange, classified (PDX_STATUS_*). `reading` may be NULL. */
PDX_API int PDX_CALL pdx_get_status(pdx_handle handle, int* status, struct pdx_weight* reading);
/* Takes readings until the status differs from `last_status` (at once when it is 0); after
 * `timeout_ms` [ms] returns PDX_TIME_OUT with the current status. `reading` may be NULL. */
PDX_API int PDX_CALL pdx_wait_status(pdx_handle handle, int last_status, int timeout_ms, int* status,
                                     struct pdx_weight* reading);
/* A tare in milligrams on every protocol (converted to the protocol's own unit). Negative, or
 * not a whole number of divisions where the division is known: PDX_PARAM_VALUE_UNSUPPORTED; a
 * protocol without the command: PDX_COMMAND_UNSUPPORTED. */
PDX_API int PDX_CALL pdx_specify_tare_mg(pdx_handle handle, int64_t tare_mg);
/* UTF-8 "key=value" lines. Level 1 (no I/O): open, protocol, end_point, last_result,
 * exchanges, failed_exchanges. Level 2 adds one exchange: status, exchange_ms, and model,
 * serial_number where the protocol has them; the call returns that exchange's code. */
PDX_API int PDX_CALL pdx_check_health(pdx_handle handle, int level, char* buffer, size_t size, size_t* needed);
/* "key=value" lines since pdx_create: exchanges, failed_exchanges, failed.<ResultName>,
 * timeouts, reconnects, sale_weights, refused.unstable, refused.under_zero, refused.overload,
 * refused.below_minimum, refused.same_weight, refused.zero. */
PDX_API int PDX_CALL pdx_get_statistics(pdx_handle handle, char* buffer, size_t size, size_t* needed);
PDX_API int PDX_CALL pdx_get_capabilities(pdx_handle handle, struct pdx_capabilities* out);

/* The protocol names a logic device or pdx_open_line accepts, one per line ("auto" last). */
PDX_API int PDX_CALL pdx_protocol_names(char* buffer, size_t size, size_t* needed);

/* Result codes: the name, as the constant reads ("ConnectionError" for PDX_CONNECTION_ERROR;
 * NULL for a number outside the list), and the description in a language. The name is a
 * static text owned by the library: never free it (from C# marshal it as IntPtr, not string). */
PDX_API const char* PDX_CALL pdx_result_name(int code);
PDX_API int PDX_CALL pdx_get_error_description(int code, int language, char* buffer, size_t size, size_t* needed);

/* Logging: settings as "key=value" lines, one per setting; mode PDX_LOG_*; the log folder. */
PDX_API int PDX_CALL pdx_get_log_settings(char* buffer, size_t size, size_t* needed);
PDX_API int PDX_CALL pdx_change_log_settings(const char* settings);
PDX_API int PDX_CALL pdx_logging_set_mode(int mode);
PDX_API int PDX_CALL pdx_get_logging_path(char* buffer, size_t size, size_t* needed);
PDX_API int PDX_CALL pdx_get_version(char* buffer, size_t size, size_t* needed);

/* Logic devices. pdx_get_logic_device_ids writes at most `capacity` identifiers, ascending,
 * and the count there is into `count`; PDX_BUFFER_TOO_SMALL (nothing written) when they do not
 * fit. */
PDX_API int PDX_CALL pdx_add_logic_device(pdx_handle handle, int* id);
PDX_API int PDX_CALL pdx_delete_logic_device(pdx_handle handle, int id);
PDX_API int PDX_CALL pdx_set_current_logic_device(pdx_handle handle, int id);
PDX_API int PDX_CALL pdx_get_current_logic_device(pdx_handle handle, int* id);
PDX_API int PDX_CALL pdx_set_logic_device_param(pdx_handle handle, int id, int type, const char* value);
PDX_API int PDX_CALL pdx_get_logic_device_param(pdx_handle handle, int id, int type, char* buffer, size_t size,
                                                size_t* needed);
PDX_API int PDX_CALL pdx_get_logic_device_ids(pdx_handle handle, int* ids, size_t capacity, size_t* count);

/* Finding the scale. Both write a table: one UTF-8 line per port, columns separated by tabs,
 * every line with all its columns (empty where unknown).
 *
 * pdx_list_ports: the machine's serial ports, ordered by name. Columns:
 *   1 the name to open ("/dev/ttyUSB0", "COM3")
 *   2 a stable name where the system has one ("/dev/serial/by-id/usb-FTDI_..._A50285BI-if00-port0")
 *   3 the bus: "usb", "pci", "platform", "bluetooth" or "virtual"
 *   4 USB vendor id, 5 USB product id (four lower-case hexadecimal digits each)
 *   6 USB serial number, 7 manufacturer, 8 product (as the device names itself)
 *   9 whether it can be opened now: "free", "busy" (another program holds it) or "denied"
 *     (this user may not open it; the log of pdx_open says how to gain access)
 *
 * pdx_discover: the protocol detection of pdx_open with "auto" on several ports at once, at
 * 9600 baud. `ports`: newline-separated port names, glob patterns matched against the listed
 * names and stable names ("/dev/ttyUSB*", "COM*"), or TCP end points ("tcp:HOST[:PORT]",
 * "HOST:PORT"; port 77 when none); NULL: every listed port. A port another program holds, or
 * that this user may not open, is reported and not opened. Ports are probed concurrently on
 * threads that end before the call returns: silent ports cost one detection time together.
 * `timeout_ms` > 0 bounds each port (no exchange starts after it; one under way still ends);
 * 0: detection's own time-outs only. Columns:
 *   1 the end point as probed
 *   2 the protocol found, else the result code's name (pdx_result_name)
 *   3 model, 4 serial number (where the protocol reports them)
 *   5 time taken [ms]
 *   6 why a port was left alone: "busy: process 4711 (minicom)", "denied: ..."
 * A buffer too small for the table loses the probe: give about 1 KiB per port. */
PDX_API int PDX_CALL pdx_list_ports(char* buffer, size_t size, size_t* needed);
PDX_API int PDX_CALL pdx_discover(const char* ports, int timeout_ms, char* buffer, size_t size, size_t* needed);

#ifdef __cplusplus
}
#endif

#endif /* PONDERIX_PONDERIX_H */
