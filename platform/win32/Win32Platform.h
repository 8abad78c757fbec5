// The Windows implementations of the services the core needs. Text crosses this boundary as UTF-8 and is
// handed to the wide-character API.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace scaleboot::platform {

// UTF-8 <-> UTF-16. Invalid sequences become U+FFFD; embedded NULs are kept.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// Standard output and standard error: wide characters to a console, whatever its code page; UTF-8 bytes to a
// pipe or file.
class Win32Console : public Console {
 public:
  void Write(Stream stream, std::string_view text) override;
  bool IsTerminal(Stream stream) override;
  bool Failed(Stream stream) override;

 private:
  bool failed_[2] = {false, false};
};

// The system's description of an error code (FormatMessageW), in UTF-8 and as the system words it; a text
// naming the code when the system has none.
std::string SystemErrorText(DWORD code);

// Where the program's later loads of a DLL by name look. Windows looks in the program's own folder first for
// a DLL that is not on its KnownDLLs list, so a DLL someone left beside the program (in a Downloads folder,
// say) would run inside it. SetDefaultDllDirectories limits every load by name to the system folder (Windows
// 8, and Windows 7 with update KB2533623); without it, SetDllDirectoryW(L"") at least takes the current
// folder out of the search. Each call is nullptr where the system lacks it.
struct DllSearchCalls {
  BOOL(WINAPI* setDefaultDllDirectories)(DWORD flags) = nullptr;
  BOOL(WINAPI* setDllDirectoryW)(const wchar_t* folder) = nullptr;
};
DllSearchCalls SystemDllSearchCalls();
enum class DllSearch { kSystemFolderOnly, kNoCurrentFolder, kUnchanged };
// The first thing each program's entry calls. When both calls fail the search stays as it was: the programs
// load their own DLLs through LoadSystemLibrary, which does not search.
DllSearch RestrictDllSearch(const DllSearchCalls& calls = SystemDllSearchCalls());

// The DLL `name` of the system folder, loaded by its full path (GetSystemDirectoryW), never one from the
// program's or the current folder; nullptr when it cannot be loaded. It stays loaded for the program's run.
HMODULE LoadSystemLibrary(const wchar_t* name);

// The functions of version.dll that read a module's version information. The programs import no
// version.dll: it is loaded from the system folder when first needed (LoadSystemLibrary). Each call is
// nullptr when it could not be loaded.
struct VersionCalls {
  DWORD(WINAPI* getFileVersionInfoSizeW)(const wchar_t* path, DWORD* handle) = nullptr;
  BOOL(WINAPI* getFileVersionInfoW)(const wchar_t* path, DWORD handle, DWORD size, void* data) = nullptr;
  BOOL(WINAPI* verQueryValueW)
  (const void* block, const wchar_t* subBlock, void** value, UINT* length) = nullptr;
};
const VersionCalls& SystemVersionCalls();

// The more significant half of the file version of the module at `path`, or nothing when it has no version
// information, it cannot be read or version.dll's functions are missing.
std::optional<std::uint32_t> ReadFileVersionOf(const std::string& path,
                                               const VersionCalls& calls = SystemVersionCalls());

// GetLogicalDriveStringsW / GetDriveTypeW; a removable volume on the disk that holds the Windows folder
// (GetSystemWindowsDirectoryW; SystemVolume.h), a subst letter of one too, is kDriveSystemDisk instead, so
// that it is never listed nor written, and the
// list's length, which tells the window to rescan, is the system's own.
class Win32DriveSource : public DriveSource {
 public:
  std::uint32_t LogicalDriveStrings(std::span<char> buffer) override;
  unsigned DriveType(const std::string& root) override;
};

// The system calls that open, read, write, flush, inspect and close the card files, one method per Win32
// function of the same name. The file system goes through a table of them so that a test can record the calls
// it makes, or make one fail; System() is the real calls, which hold no state and may serve any number of
// file-system objects at once.
class Win32FileCalls {
 public:
  virtual ~Win32FileCalls() = default;
  static Win32FileCalls& System();

  virtual HANDLE CreateFileW(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
  virtual BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* transferred);
  virtual BOOL WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* transferred);
  virtual BOOL FlushFileBuffers(HANDLE file);
  virtual BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info);
  virtual DWORD GetFinalPathNameByHandleW(HANDLE file, wchar_t* path, DWORD size, DWORD flags);
  virtual BOOL CloseHandle(HANDLE handle);
};

// IdentifyFolder through `calls`: the folder opened with FILE_FLAG_BACKUP_SEMANTICS and no access, then its
// path on its volume's device (GetFinalPathNameByHandleW with VOLUME_NAME_NT).
FolderLookup IdentifyFolderWith(const std::string& path, Win32FileCalls& calls);

// CreateFileW with read and write access and shared reading and writing, for writing only once the drive
// passed `check` at that moment (the drive list the caller chose from may be older); one ReadFile or
// WriteFile per byte (one ReadFile or WriteFile per block in ReadBlock and WriteBlock); FlushFileBuffers
// before a written file is closed. Card file names that are reparse points are refused (5). Read-back from
// the card: before a file is opened to be read (Open, OpenForReading), it is opened once without buffering
// (FILE_FLAG_NO_BUFFERING) and closed again, which makes the FAT driver put the file's cached data on the
// card and purge it from the system cache, so the cached one-byte reads that follow fetch the bytes from the
// card. Whether a card file may be opened for writing at `path` ("E:\\FILE"): 0 when its drive is, asked now,
// a removable drive on no disk Windows runs from (Win32DriveSource); otherwise 21 (not ready), as when the
// card is gone, and nothing is opened.
int RemovableCardDrive(const std::wstring& path);
// Any path: for tests that treat an ordinary folder as a card.
inline int AnyDrive(const std::wstring&) {
  return 0;
}

class Win32ByteFileSystem : public ByteFileSystem {
 public:
  using DriveCheck = std::function<int(const std::wstring& path)>;
  explicit Win32ByteFileSystem(Win32FileCalls& calls = Win32FileCalls::System(),
                               DriveCheck check = RemovableCardDrive)
      : calls_(&calls), check_(std::move(check)) {}
  int Create(const std::string& path, Handle& handle) override;
  int Open(const std::string& path, Handle& handle) override;
  int OpenForReading(const std::string& path, Handle& handle) override;
  int WriteByte(Handle handle, std::uint8_t byte) override;
  int ReadByte(Handle handle, std::uint8_t& byte) override;
  int WriteBlock(Handle handle, std::span<const std::uint8_t> bytes, std::size_t& count) override;
  int ReadBlock(Handle handle, std::span<std::uint8_t> buffer, std::size_t& count) override;
  int Close(Handle handle) override;
  void Delete(const std::string& path) override;
  // FILE_FLAG_NO_BUFFERING reads of 64 KiB into memory from VirtualAlloc.
  int ReadPastCache(const std::string& path, std::size_t limit, std::vector<std::uint8_t>& contents) override;
  // The same reads, each handed over as it arrives.
  int StreamPastCache(const std::string& path, std::size_t limit, const PieceTaker& take) override;

 private:
  int OpenCardFile(const std::string& path, DWORD disposition, DWORD access, Handle& handle);
  int PurgeCachedData(const std::wstring& path);

  Win32FileCalls* calls_;
  DriveCheck check_;
  std::set<Handle> written_;  // handles from Create: flushed to the medium before they are closed
};

// The folder the documents go into when the program's folder refused one with the system error `code`:
// "ScaleBoot\" in the user's local application data folder `localAppData` (given without its final
// backslash), when the refusal was access denied (5: a standard user and a program in Program Files) or a
// write-protected medium (19). Nothing for any other failure (a copy that another program holds open, 32, is
// no reason to save elsewhere) or when that folder is not known.
std::optional<std::string> DocumentFallbackFolder(DWORD code, const std::optional<std::string>& localAppData);

// RCDATA resources of the program, saved next to its executable and opened with ShellExecuteW("open"); where
// the program's folder cannot be written, saved into and opened from %LOCALAPPDATA%\ScaleBoot\.
class Win32DocumentHost : public DocumentHost {
 public:
  explicit Win32DocumentHost(HWND owner = nullptr) : owner_(owner) {}
  void SetOwner(HWND owner) { owner_ = owner; }
  std::optional<std::span<const std::uint8_t>> FindDocumentData(std::string_view name) override;
  std::string ProgramFolder() override;
  SaveResult SaveFile(const std::string& path, std::span<const std::uint8_t> bytes) override;
  void ShellOpen(const std::string& path) override;
  // DocumentFallbackFolder for the refusal, with LocalAppDataFolder(); the folder is created when missing.
  std::optional<std::string> FallbackFolder(const SaveResult& refused) override;
  // The user's local application data folder (SHGetKnownFolderPath), without its final backslash.
  virtual std::optional<std::string> LocalAppDataFolder();

 private:
  HWND owner_;
};

}  // namespace scaleboot::platform
