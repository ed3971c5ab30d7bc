/* A stand-in for HTML Help (hhctrl.ocx), loaded by the download dialog tests
   before the module asks for it by name: each call appends
   "help <file> <command> <data>" to the file named by QVX_OPENED. */
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
