// A module that exists only to carry version information for the tests.
extern "C" __declspec(dllexport) int win32_version_probe() {
  return 0;
}
