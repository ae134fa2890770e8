/* The driver's C interface: plain C types only, callable from C, C#, Delphi, Visual Basic, Java,
 * Python (ctypes) and C++ built with any compiler. It lives in the same library as the C++
 * exports and runs through the same call frame: nothing thrown crosses it, handles are checked
 * and every call on a device holds that device for its length.
 *
 * Conventions
 * - Every function returns an int result code: PDX_OK (0) or one of the library's result
 *   codes (the same numbers as the C++ ErrorCase; pdx_result_name gives the name), or
 *   PDX_BUFFER_TOO_SMALL.
 * - Texts in and out are UTF-8 and NUL-terminated.
 * - A text output goes into the caller's buffer `buffer` of `size` bytes; `needed` (may be
 *   NULL) receives the size the whole text takes, its NUL included. When `size` is smaller,
 *   the call returns PDX_BUFFER_TOO_SMALL and writes nothing into the buffer.
 * - A device handle is a number, never 0 and never reused within the process.
 * - On Windows the functions use the __cdecl calling convention.
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

/* Result codes (the library's full list is 0..38; pdx_result_name names each). */
enum {
  PDX_OK = 0,
  PDX_INCORRECT_ARGUMENTS = 3,
  PDX_CONNECTION_ERROR = 4,
  PDX_UNABLE_TO_OPEN_SERIAL_PORT = 5,
  PDX_TIME_OUT = 7,
  PDX_HANDLE_INVALID = 9,
  PDX_PARAM_TYPE_UNKNOWN = 11,
  PDX_PARAM_TYPE_IS_NOT_SET_TO_GET = 13,
  PDX_OPTION_UNKNOWN = 14,
  PDX_PARAM_VALUE_UNSUPPORTED = 18,
  PDX_COMMAND_UNKNOWN = 20,
  PDX_COMMAND_UNSUPPORTED = 21,
  PDX_DEVICE_IS_NOT_STABILIZED = 25,
  PDX_UNKNOWN_EXCEPTION = 26,
  PDX_WRONG_MODEL_CHOSEN = 34,
  PDX_LOGIC_DEVICE_NOT_FOUND = 37,
  PDX_NOT_ALL_PARAMS_ARE_SET = 38,
  /* Not a library result code: the caller's buffer cannot take the text; `needed` says how
   * many bytes it takes. */
  PDX_BUFFER_TOO_SMALL = 100
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

/* Device life cycle. */
PDX_API int PDX_CALL pdx_create(pdx_handle* handle);
PDX_API int PDX_CALL pdx_destroy(pdx_handle handle);
PDX_API int PDX_CALL pdx_open(pdx_handle handle, int logic_device_id);
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

/* Result codes: the name ("ConnectionError"; NULL for a number outside the list) and the
 * description in a language. */
PDX_API const char* PDX_CALL pdx_result_name(int code);
PDX_API int PDX_CALL pdx_get_error_description(int code, int language, char* buffer, size_t size, size_t* needed);

/* Logging: settings as "key=value" lines, one per setting; mode 0..3; the log folder. */
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

#ifdef __cplusplus
}
#endif

#endif /* PONDERIX_PONDERIX_H */
