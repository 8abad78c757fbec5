// A stand-in version.dll, as a web page or another download might leave one beside the programs. Loading it
// adds the loading program's path to version.loaded beside it; a call of one of its functions adds the
// function's name and the file of the module that called it to version.called. Its functions find nothing.
#include <windows.h>

static HINSTANCE self;

// Appends TEXT and a line break to the file NAME in this DLL's folder. The name is spelled here, not taken
// from the DLL's: the loader names the DLL as the importing program wrote it (VERSION.dll).
static void Record(const wchar_t* name, const wchar_t* text) {
  wchar_t path[MAX_PATH + 16];
  const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  wchar_t* file = path + length;
  while (file > path && file[-1] != L'\\') --file;
  lstrcpyW(file, name);
  const HANDLE handle = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (handle == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(handle, text, lstrlenW(text) * sizeof(wchar_t), &written, NULL);
  WriteFile(handle, L"\n", sizeof(wchar_t), &written, NULL);
  CloseHandle(handle);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  self = instance;
  wchar_t program[MAX_PATH] = L"";
  GetModuleFileNameW(NULL, program, MAX_PATH);
  Record(L"version.loaded", program);
  return TRUE;
}

// Notes a call of FUNCTION from the code at ADDRESS: "FUNCTION from MODULE_FILE".
static void Called(const wchar_t* function, void* address) {
  wchar_t line[MAX_PATH + 64];
  lstrcpyW(line, function);
  lstrcatW(line, L" from ");
  HMODULE caller = NULL;
  const int length = lstrlenW(line);
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          (LPCWSTR)address, &caller) ||
      GetModuleFileNameW(caller, line + length, MAX_PATH) == 0)
    lstrcpyW(line + length, L"(unknown)");
  Record(L"version.called", line);
}
#define CALLED(function) Called(L## #function, __builtin_return_address(0))

__declspec(dllexport) __attribute__((noinline)) DWORD WINAPI
    GetFileVersionInfoSizeA(LPCSTR path, LPDWORD handle) {
  (void)path, (void)handle;
  CALLED(GetFileVersionInfoSizeA);
  return 0;
}
__declspec(dllexport) __attribute__((noinline)) DWORD WINAPI
    GetFileVersionInfoSizeW(LPCWSTR path, LPDWORD handle) {
  (void)path, (void)handle;
  CALLED(GetFileVersionInfoSizeW);
  return 0;
}
__declspec(dllexport) __attribute__((noinline)) BOOL WINAPI
    GetFileVersionInfoA(LPCSTR path, DWORD handle, DWORD size, LPVOID data) {
  (void)path, (void)handle, (void)size, (void)data;
  CALLED(GetFileVersionInfoA);
  return FALSE;
}
__declspec(dllexport) __attribute__((noinline)) BOOL WINAPI
    GetFileVersionInfoW(LPCWSTR path, DWORD handle, DWORD size, LPVOID data) {
  (void)path, (void)handle, (void)size, (void)data;
  CALLED(GetFileVersionInfoW);
  return FALSE;
}
__declspec(dllexport) __attribute__((noinline)) BOOL WINAPI
    VerQueryValueA(LPCVOID block, LPCSTR name, LPVOID* value, PUINT length) {
  (void)block, (void)name, (void)value, (void)length;
  CALLED(VerQueryValueA);
  return FALSE;
}
__declspec(dllexport) __attribute__((noinline)) BOOL WINAPI
    VerQueryValueW(LPCVOID block, LPCWSTR name, LPVOID* value, PUINT length) {
  (void)block, (void)name, (void)value, (void)length;
  CALLED(VerQueryValueW);
  return FALSE;
}
