// Imports version.dll, as the programs once did: shows that a version.dll beside a program is loaded here.
#include <windows.h>
int main(void) {
  return (int)GetFileVersionInfoSizeW(L"imports-version.exe", NULL);
}
