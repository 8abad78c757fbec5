// The way the programs used to reach version.dll, through an import: it shows that a version.dll beside a
// program is loaded under this Wine prefix and its overrides, so the planted-DLL check can see a load at all.
#include <windows.h>

int main(void) {
  wchar_t self[MAX_PATH];
  DWORD handle = 0;
  GetModuleFileNameW(NULL, self, MAX_PATH);
  return GetFileVersionInfoSizeW(self, &handle) != 0;
}
