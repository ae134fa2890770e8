/* Reads the weight three times from a scale through the driver's C interface.
 *
 *   read-weight /dev/ttyUSB0          a serial scale, protocol detected
 *   read-weight 10.0.0.5:4001 CAS-M   a scale on TCP, protocol given
 *
 * Build: cc -std=c99 read-weight.c -lc -ldriver (the C library before the driver: the driver
 * also exports C++ functions named open and close). */
#include <stdio.h>
#include <string.h>

#include <ponderix/ponderix.h>

static int failed(const char* what, int code) {
  char text[256] = "";
  pdx_get_error_description(code, PDX_LANGUAGE_ENGLISH, text, sizeof text, NULL);
  fprintf(stderr, "%s: %s (%d): %s\n", what, pdx_result_name(code), code, text);
  return 1;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s END-POINT [PROTOCOL]\n", argv[0]);
    return 2;
  }
  const char* end_point = argv[1];
  const int tcp = strchr(end_point, ':') != NULL;

  pdx_handle scale = 0;
  int code = pdx_create(&scale);
  if (code != PDX_OK) return failed("create", code);
  int id = -1;
  code = pdx_add_logic_device(scale, &id);
  const struct {
    int type;
    const char* value;
  } settings[] = {
      {PDX_LD_NAME, "read-weight example"}, {PDX_LD_CONNECTION_TYPE, tcp ? "TCP" : "Serial Port"},
      {PDX_LD_END_POINT, end_point},         {PDX_LD_BAUD_RATE, "9600"},
      {PDX_LD_MODEL, "auto"},                {PDX_LD_PROTOCOL, argc > 2 ? argv[2] : "auto"},
  };
  for (size_t i = 0; code == PDX_OK && i < sizeof settings / sizeof settings[0]; ++i) {
    code = pdx_set_logic_device_param(scale, id, settings[i].type, settings[i].value);
  }
  if (code == PDX_OK) code = pdx_open(scale, id);
  int status = 0;
  if (code != PDX_OK) {
    status = failed("open", code);
  } else {
    for (int i = 0; i < 3; ++i) {
      struct pdx_weight weight;
      code = pdx_read_weight(scale, &weight);
      if (code != PDX_OK) {
        status = failed("read", code);
        break;
      }
      printf("%s %s = %lld mg, %s\n", weight.text, weight.unit, (long long)weight.weight_mg,
             weight.stable == PDX_FLAG_YES ? "stable" : weight.stable == PDX_FLAG_NO ? "settling" : "state unknown");
    }
    pdx_close(scale);
  }
  pdx_delete_logic_device(scale, id);
  pdx_destroy(scale);
  return status;
}
