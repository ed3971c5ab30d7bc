/* Opened for its resources; run with arguments, as the tests' http browser,
   it appends "open <arguments>" to the file QVX_OPENED names. */
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
