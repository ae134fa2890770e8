/* The C interface from a plain C99 program, as a C caller links it: the whole life cycle,
 * buffers too small, a bad handle, one reading per protocol family with its milligrams and
 * flags, and a failed read that zeroes the reading. The scale is the scalesim program on TCP or
 * a pseudo-terminal. Ends with the line "N passed, M failed". */
#define _POSIX_C_SOURCE 200809L

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ponderix.h"

static int passed = 0;
static int failed = 0;

#define CHECK(condition)                                                    \
  do {                                                                      \
    if (condition) {                                                        \
      ++passed;                                                             \
    } else {                                                                \
      ++failed;                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
    }                                                                       \
  } while (0)

#define CHECK_CODE(call, code)                                                          \
  do {                                                                                  \
    int got_ = (call);                                                                  \
    if (got_ == (code)) {                                                               \
      ++passed;                                                                         \
    } else {                                                                            \
      ++failed;                                                                         \
      fprintf(stderr, "%s:%d: %s gave %d (%s), not %d\n", __FILE__, __LINE__, #call, got_, \
              pdx_result_name(got_) ? pdx_result_name(got_) : "?", (int)(code));       \
    }                                                                                   \
  } while (0)

struct scale {
  pid_t pid;
  char end_point[256];
  int tcp;
};

/* Starts scalesim with the arguments (NULL-terminated) and reads the line it names. */
static int start_scale(struct scale* scale, int tcp, const char* const* args) {
  int out[2];
  const char* argv[32];
  int n = 0;
  argv[n++] = SCALESIM;
  if (tcp) {
    argv[n++] = "--tcp";
    argv[n++] = "0";
  }
  while (*args && n < 30) argv[n++] = *args++;
  argv[n] = NULL;
  if (pipe(out) != 0) return 0;
  scale->pid = fork();
  if (scale->pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    execv(SCALESIM, (char* const*)argv);
    _exit(127);
  }
  close(out[1]);
  FILE* lines = fdopen(out[0], "r");
  char line[200] = "";
  if (!lines || !fgets(line, sizeof line, lines)) return 0;
  line[strcspn(line, "\r\n")] = '\0';
  fclose(lines);
  scale->tcp = tcp;
  snprintf(scale->end_point, sizeof scale->end_point, tcp ? "127.0.0.1:%s" : "%s", line);
  return 1;
}

static void stop_scale(struct scale* scale) {
  if (scale->pid <= 0) return;
  kill(scale->pid, SIGTERM);
  waitpid(scale->pid, NULL, 0);
  scale->pid = 0;
}

/* A device with a logic device for the scale, opened; 0 when that failed. */
static pdx_handle open_device(const struct scale* scale, const char* protocol, int* id) {
  pdx_handle handle = 0;
  if (pdx_create(&handle) != PDX_OK) return 0;
  int code = pdx_add_logic_device(handle, id);
  const struct {
    int type;
    const char* value;
  } settings[] = {
      {PDX_LD_NAME, "c test scale"},
      {PDX_LD_CONNECTION_TYPE, scale->tcp ? "TCP" : "Serial Port"},
      {PDX_LD_END_POINT, scale->end_point},
      {PDX_LD_BAUD_RATE, "9600"},
      {PDX_LD_MODEL, "auto"},
      {PDX_LD_PROTOCOL, protocol},
  };
  for (size_t i = 0; code == PDX_OK && i < sizeof settings / sizeof settings[0]; ++i) {
    code = pdx_set_logic_device_param(handle, *id, settings[i].type, settings[i].value);
  }
  if (code == PDX_OK) code = pdx_open(handle, *id);
  CHECK_CODE(code, PDX_OK);
  return code == PDX_OK ? handle : 0;
}

static void close_device(pdx_handle handle, int id) {
  CHECK_CODE(pdx_close(handle), PDX_OK);
  CHECK_CODE(pdx_delete_logic_device(handle, id), PDX_OK);
  CHECK_CODE(pdx_destroy(handle), PDX_OK);
}

static void life_cycle(void) {
  const char* args[] = {"--protocol", "POS2MProV1", NULL};
  struct scale scale;
  if (!start_scale(&scale, 1, args)) {
    CHECK(!"scalesim started");
    return;
  }
  int id = -1;
  pdx_handle handle = open_device(&scale, "auto", &id);
  if (handle) {
    int open = 0;
    CHECK_CODE(pdx_is_open(handle, &open), PDX_OK);
    CHECK(open == 1);
    char text[64];
    size_t needed = 0;
    CHECK_CODE(pdx_get_protocol(handle, text, sizeof text, &needed), PDX_OK);
    CHECK(strcmp(text, "POS2MProV1") == 0 && needed == strlen("POS2MProV1") + 1);

    /* A buffer too small: nothing written, the size needed told. */
    memset(text, 'x', sizeof text);
    CHECK_CODE(pdx_get_protocol(handle, text, 4, &needed), PDX_BUFFER_TOO_SMALL);
    CHECK(needed == 11 && text[0] == 'x');
    CHECK_CODE(pdx_get_version(NULL, 0, &needed), PDX_BUFFER_TOO_SMALL);
    CHECK(needed == 6);

    CHECK_CODE(pdx_execute_command(handle, PDX_CMD_GET_SERIAL_NUMBER), PDX_OK);
    CHECK_CODE(pdx_get_param(handle, PDX_PARAM_SERIAL_NUMBER, text, sizeof text, NULL), PDX_OK);
    CHECK(strlen(text) > 0);
    CHECK_CODE(pdx_get_param(handle, 99, text, sizeof text, NULL), PDX_PARAM_TYPE_UNKNOWN);
    CHECK_CODE(pdx_execute_command(handle, 999), PDX_COMMAND_UNKNOWN);

    int ids[64];
    size_t count = 0;
    CHECK_CODE(pdx_get_logic_device_ids(handle, ids, 64, &count), PDX_OK);
    CHECK(count >= 1 && ids[count - 1] == id);
    CHECK_CODE(pdx_get_logic_device_ids(handle, ids, 0, &count), PDX_BUFFER_TOO_SMALL);
    CHECK_CODE(pdx_get_logic_device_param(handle, id, PDX_LD_PROTOCOL, text, sizeof text, NULL), PDX_OK);
    CHECK(strcmp(text, "POS2MProV1") == 0); /* detection wrote it back */
    close_device(handle, id);
  }

  /* A handle that was destroyed, or never made. */
  int open = 0;
  struct pdx_weight weight;
  CHECK_CODE(pdx_is_open(handle, &open), PDX_HANDLE_DOES_NOT_EXIST);
  CHECK_CODE(pdx_read_weight(handle, &weight), PDX_HANDLE_DOES_NOT_EXIST);
  CHECK_CODE(pdx_destroy(handle), PDX_HANDLE_DOES_NOT_EXIST);
  CHECK_CODE(pdx_is_open(123456789, &open), PDX_HANDLE_DOES_NOT_EXIST);
  CHECK_CODE(pdx_is_open(0, &open), PDX_HANDLE_NULL);
  CHECK_CODE(pdx_read_weight(0, &weight), PDX_HANDLE_NULL);

  /* A device that is not open says so, before an open and after a close. */
  pdx_handle idle = 0;
  CHECK_CODE(pdx_create(&idle), PDX_OK);
  CHECK_CODE(pdx_read_weight(idle, &weight), PDX_NOT_OPEN);
  CHECK_CODE(pdx_execute_command(idle, PDX_CMD_SET_ZERO), PDX_NOT_OPEN);
  CHECK_CODE(pdx_destroy(idle), PDX_OK);

  char text[256];
  CHECK_CODE(pdx_get_error_description(PDX_CONNECTION_ERROR, PDX_LANGUAGE_ENGLISH, text, sizeof text, NULL), PDX_OK);
  CHECK(strlen(text) > 0);
  CHECK_CODE(pdx_get_error_description(PDX_CONNECTION_ERROR, PDX_LANGUAGE_RUSSIAN, text, sizeof text, NULL), PDX_OK);
  CHECK((unsigned char)text[0] >= 0xC0); /* Cyrillic, in UTF-8 */
  CHECK(strcmp(pdx_result_name(PDX_CONNECTION_ERROR), "ConnectionError") == 0);
  CHECK(strcmp(pdx_result_name(PDX_INCORRECT_ARGUMENTS), "IncorrectArguments") == 0);
  CHECK(strcmp(pdx_result_name(PDX_TIME_OUT), "TimeOut") == 0);
  CHECK(pdx_result_name(77) == NULL);
  /* Every code has a name and a text in both languages. */
  for (int code = 0; code <= PDX_NOT_OPEN; ++code) {
    if (code > PDX_NOT_ALL_PARAMS_ARE_SET && code < PDX_BUFFER_TOO_SMALL) continue;
    CHECK(pdx_result_name(code) != NULL);
    CHECK_CODE(pdx_get_error_description(code, PDX_LANGUAGE_ENGLISH, text, sizeof text, NULL), PDX_OK);
    CHECK_CODE(pdx_get_error_description(code, PDX_LANGUAGE_RUSSIAN, text, sizeof text, NULL), PDX_OK);
  }
  stop_scale(&scale);
}

struct reading_case {
  const char* protocol;
  int tcp;
  const char* settings[8];
  const char* text;
  long long weight_mg;
  const char* unit;
  int stable, overload, net, tare_known;
  long long tare_mg;
};

static void readings(void) {
  const struct reading_case cases[] = {
      {"POS2MProV1", 1, {"--set", "weight=1250", "--set", "tare=100", NULL},
       "1250", 1250000, "g", PDX_FLAG_YES, PDX_FLAG_UNKNOWN, PDX_FLAG_YES, 1, 100000},
      {"POS2M", 0, {"--set", "weight=-20", "--set", "stable=0", NULL},
       "-20", -20000, "g", PDX_FLAG_NO, PDX_FLAG_UNKNOWN, PDX_FLAG_NO, 1, 0},
      {"CAS-M", 1, {"--set", "weight=1.25", NULL},
       "1.250", 1250000, "kg", PDX_FLAG_YES, PDX_FLAG_NO, PDX_FLAG_UNKNOWN, 0, 0},
      {"CAS-M-Active", 0, {"--set", "weight=0.5", "--set", "stable=0", NULL},
       "0.500", 500000, "kg", PDX_FLAG_NO, PDX_FLAG_NO, PDX_FLAG_UNKNOWN, 0, 0},
      {"OKA", 1, {"--set", "weight=2500", "--set", "tare=300", NULL},
       "2.500", 2500000, "kg", PDX_FLAG_YES, PDX_FLAG_NO, PDX_FLAG_YES, 1, 300000},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    const struct reading_case* c = &cases[i];
    const char* args[12] = {"--protocol", c->protocol};
    size_t n = 2;
    for (size_t k = 0; c->settings[k]; ++k) args[n++] = c->settings[k];
    args[n] = NULL;
    struct scale scale;
    if (!start_scale(&scale, c->tcp, args)) {
      CHECK(!"scalesim started");
      continue;
    }
    int id = -1;
    pdx_handle handle = open_device(&scale, c->protocol, &id);
    if (!handle) {
      fprintf(stderr, "  case %s\n", c->protocol);
      stop_scale(&scale);
      continue;
    }
    struct pdx_weight weight;
    int code = pdx_read_weight(handle, &weight);
    CHECK_CODE(code, PDX_OK);
    if (code == PDX_OK) {
      int good = strcmp(weight.text, c->text) == 0 && weight.weight_mg == c->weight_mg &&
                 strcmp(weight.unit, c->unit) == 0 && weight.stable == c->stable && weight.overload == c->overload &&
                 weight.net == c->net && weight.tare_known == c->tare_known && weight.tare_mg == c->tare_mg;
      CHECK(good);
      if (!good) {
        fprintf(stderr, "  %s: text %s mg %lld unit %s stable %d overload %d net %d tare %d/%lld\n", c->protocol,
                weight.text, (long long)weight.weight_mg, weight.unit, weight.stable, weight.overload, weight.net,
                weight.tare_known, (long long)weight.tare_mg);
      }
    }

    /* The scale is gone: the read fails and leaves nothing of the last one. */
    stop_scale(&scale);
    memset(&weight, 0x5A, sizeof weight);
    code = pdx_read_weight(handle, &weight);
    CHECK(code != PDX_OK);
    static const struct pdx_weight zero;
    CHECK(memcmp(&weight, &zero, sizeof weight) == 0);
    char text[32];
    CHECK_CODE(pdx_get_param(handle, PDX_PARAM_WEIGHT, text, sizeof text, NULL), PDX_PARAM_TYPE_IS_NOT_SET_TO_GET);
    close_device(handle, id);
  }
}

/* A sale weight, the interlock, health, statistics and capabilities, as a C caller sees them. */
static void sale_weight(void) {
  const char* args[] = {"--protocol", "POS2MProV1", "--set", "weight=1250", NULL};
  struct scale scale;
  if (!start_scale(&scale, 1, args)) {
    CHECK(!"scalesim started");
    return;
  }
  int id = -1;
  pdx_handle handle = open_device(&scale, "POS2MProV1", &id);
  if (handle) {
    struct pdx_sale_weight sale;
    CHECK_CODE(pdx_read_sale_weight(handle, 1000, &sale), PDX_OK);
    CHECK(sale.sequence == 1 && sale.reading.weight_mg == 1250000 && sale.status == PDX_STATUS_STABLE);
    CHECK(sale.maximum_mg == 15000000 && sale.division_mg == 2000 && sale.minimum_mg == 40000);
    CHECK_CODE(pdx_read_sale_weight(handle, 0, &sale), PDX_WEIGHT_SAME);
    CHECK(sale.sequence == 0 && sale.reading.weight_mg == 1250000);
    CHECK_CODE(pdx_set_sale_limits(handle, -1, 0, 0), PDX_PARAM_VALUE_UNSUPPORTED);

    int status = 0;
    CHECK_CODE(pdx_get_status(handle, &status, NULL), PDX_OK);
    CHECK(status == PDX_STATUS_STABLE);
    struct pdx_capabilities caps;
    CHECK_CODE(pdx_get_capabilities(handle, &caps), PDX_OK);
    CHECK(caps.can_zero && caps.can_specify_tare && caps.reports_stable && !caps.reports_overload &&
          caps.maximum_known && caps.division_known);

    char text[1024];
    size_t needed = 0;
    CHECK_CODE(pdx_check_health(handle, 2, text, sizeof text, &needed), PDX_OK);
    CHECK(strstr(text, "open=1\n") && strstr(text, "status=11\n") && strstr(text, "serial_number="));
    CHECK_CODE(pdx_get_statistics(handle, text, 8, &needed), PDX_BUFFER_TOO_SMALL);
    CHECK_CODE(pdx_get_statistics(handle, text, sizeof text, &needed), PDX_OK);
    CHECK(strstr(text, "sale_weights=1\n") && strstr(text, "refused.same_weight=1\n"));
    CHECK_CODE(pdx_close(handle), PDX_OK);
    CHECK_CODE(pdx_check_health(handle, 1, text, sizeof text, NULL), PDX_NOT_OPEN);
    CHECK(strstr(text, "open=0\n") != NULL);
    CHECK_CODE(pdx_read_sale_weight(handle, 0, &sale), PDX_NOT_OPEN);
    CHECK(sale.status == PDX_STATUS_NOT_READY);
    CHECK_CODE(pdx_delete_logic_device(handle, id), PDX_OK);
    CHECK_CODE(pdx_destroy(handle), PDX_OK);
  }
  char names[256];
  CHECK_CODE(pdx_protocol_names(names, sizeof names, NULL), PDX_OK);
  CHECK(strncmp(names, "POS2M\n", 6) == 0 && strstr(names, "\nauto") != NULL);
  stop_scale(&scale);
}

int main(void) {
  /* Each run keeps its store and log in a folder of its own. */
  char folder[] = "/tmp/pdx-c-test-XXXXXX";
  if (!mkdtemp(folder)) return 2;
  setenv("APPDATA", folder, 1);
  life_cycle();
  readings();
  sale_weight();
  printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
