/* The programs of the download dialog tests are opened for their resources.
   Run with arguments, as the browser that the tests register for http, one
   appends "open <arguments>" to the file named by QVX_OPENED. */
#include <windows.h>
#include <stdio.h>

int main(int argc, char** argv) {
  char log[MAX_PATH];
  FILE* out;
  int i;
  if (argc < 2 || !GetEnvironmentVariableA("QVX_OPENED", log, sizeof log) || !(out = fopen(log, "ab"))) return 0;
  fputs("open", out);
  for (i = 1; i < argc; ++i) fprintf(out, " %s", argv[i]);
  fputs("\n", out);
  fclose(out);
  return 0;
}
