// A stand-in version.dll, as a download might leave one beside the programs: it reads no version information.
// clang-format off
#define FAILS(name, ...) __declspec(dllexport) unsigned long __stdcall name(__VA_ARGS__) { return 0; }
FAILS(GetFileVersionInfoSizeA, const char* path, unsigned long* handle)
FAILS(GetFileVersionInfoSizeW, const unsigned short* path, unsigned long* handle)
FAILS(GetFileVersionInfoA, const char* path, unsigned long handle, unsigned long size, void* data)
FAILS(GetFileVersionInfoW, const unsigned short* path, unsigned long handle, unsigned long size, void* data)
FAILS(VerQueryValueA, const void* block, const char* name, void** value, unsigned* length)
FAILS(VerQueryValueW, const void* block, const unsigned short* name, void** value, unsigned* length)
