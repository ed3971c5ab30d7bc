/* HTML Help's stand-in: each call appends "help <file> <command> <data>" to the file QVX_OPENED names. */
#include <windows.h>
#include <stdio.h>

__declspec(dllexport) HWND WINAPI HtmlHelpA(HWND owner, LPCSTR file, UINT command, DWORD_PTR data) {
  char log[MAX_PATH];
  FILE* out;
  (void)owner;
  if (GetEnvironmentVariableA("QVX_OPENED", log, sizeof log) && (out = fopen(log, "ab"))) {
    fprintf(out, "help %s %u %lu\n", file ? file : "(null)", command, (unsigned long)data);
    fclose(out);
  }
  return NULL;
}
