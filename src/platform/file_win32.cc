// Files on Windows; see file.h. Names are UTF-8 inside the program and
// UTF-16 at the system.
#include <windows.h>

#include <algorithm>

#include "platform/file.h"
#include "platform/unicode_win32.h"

namespace platform {

namespace {

HANDLE H(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// A write that keeps writing nothing is given up after this many tries.
constexpr int kEmptyWriteTries = 100;

// A virus scanner or an indexer that has just opened a file we remove or
// rename keeps it for a moment: the call is tried again for about a second.
template <typename Call>
bool RetriedWhileShared(Call call) {
  for (int tries = 0;; ++tries) {
    if (call()) return true;
    const DWORD code = GetLastError();
    if ((code != ERROR_SHARING_VIOLATION && code != ERROR_LOCK_VIOLATION) || tries >= 20) {
      SetLastError(code);
      return false;
    }
    Sleep(50);
  }
}

std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message(text != nullptr ? text : L"", length);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L'.' || message.back() == L' ')) {
    message.pop_back();
  }
  if (message.empty()) return "system error " + std::to_string(code);
  return Narrow(message);
}

Error SystemError(const char* what, const std::string& path, DWORD code = GetLastError()) {
  if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) {
    return Error(Error::Kind::kBusy, std::string(what) + " " + path + ": " + SystemMessage(code));
  }
  return Error(Error::Kind::kOther, std::string(what) + " " + path + ": " + SystemMessage(code));
}

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

bool SameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION x, y;
  return GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
}

// A handle for asking about the file at `path` without reading it.
HANDLE OpenForQuery(const std::string& path) {
  return CreateFileW(Widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

std::string Narrow(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), narrow.data(),
                      length, nullptr, nullptr);
  return narrow;
}

Error File::Open(const std::string& path, Mode mode, std::unique_ptr<File>* file) {
  // A writer shares reading only: while it writes, no other program may open
  // the file for writing, rename or delete it, and one that already has it
  // open for writing (the calendar itself, as Access does) makes the open
  // fail as busy. Readers share everything, and never ask for write access
  // themselves, so that they do not keep a writer out.
  DWORD access = GENERIC_READ;
  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  DWORD disposition = OPEN_EXISTING;
  switch (mode) {
    case Mode::kRead:
    case Mode::kReadMaybeWrite: break;
    case Mode::kReadWrite:
      access |= GENERIC_WRITE;
      share = FILE_SHARE_READ;
      break;
    case Mode::kCreate:
      access |= GENERIC_WRITE;
      share = FILE_SHARE_READ;
      disposition = OPEN_ALWAYS;
      break;
  }
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return Error(Error::Kind::kNotRegularFile, "not a regular file: " + path);
  }
  HANDLE handle = CreateFileW(Widen(path).c_str(), access, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_SHARING_VIOLATION) {
      return Error(Error::Kind::kBusy, "The database is in use by another program: " + path);
    }
    return SystemError("cannot open", path, code);
  }
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    return Error(Error::Kind::kNotRegularFile, "not a regular file: " + path);
  }
  file->reset(new File(reinterpret_cast<intptr_t>(handle), path, (access & GENERIC_WRITE) != 0));
  return Error();
}

Error File::CreateLike(const std::string& path, const File&, std::unique_ptr<File>* file) {
  // A new file inherits the folder's permissions, as the model did.
  return Open(path, Mode::kCreate, file);
}

File::~File() { CloseHandle(H(handle_)); }

Error File::ReadAt(uint64_t offset, void* buffer, size_t size, size_t* done) const {
  *done = 0;
  auto* out = static_cast<char*>(buffer);
  while (*done < size) {
    OVERLAPPED at = At(offset + *done);
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(size - *done, 1u << 30));
    if (!ReadFile(H(handle_), out + *done, want, &got, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return SystemError("cannot read", path_);
    }
    if (got == 0) break;
    *done += got;
  }
  return Error();
}

Error File::WriteAt(uint64_t offset, const void* data, size_t size) {
  const auto* in = static_cast<const char*>(data);
  size_t done = 0;
  int empty_writes = 0;
  while (done < size) {
    OVERLAPPED at = At(offset + done);
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
    if (!WriteFile(H(handle_), in + done, want, &put, &at))
      return SystemError("cannot write", path_);
    if (put == 0 && ++empty_writes >= kEmptyWriteTries) {
      return Error(Error::Kind::kOther, "cannot write " + path_ + ": the system wrote nothing");
    }
    done += put;
  }
  return Error();
}

Error File::Sync() {
  if (!FlushFileBuffers(H(handle_))) return SystemError("cannot sync", path_);
  return Error();
}

Error File::Truncate(uint64_t size) {
  FILE_END_OF_FILE_INFO end = {};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFileInformationByHandle(H(handle_), FileEndOfFileInfo, &end, sizeof end)) {
    return SystemError("cannot truncate", path_);
  }
  return Error();
}

Error File::Reserve(uint64_t size) {
  uint64_t current = 0;
  Error e = Size(&current);
  if (!e.ok() || current >= size) return e;
  // Setting the end of the file allocates its clusters (zeros), so a full
  // disk fails here and not in a later write.
  e = Truncate(size);
  if (!e.ok()) {
    (void)Truncate(current);
    return Error(e.kind(), "cannot grow" + e.message().substr(e.message().find(' ', 7)));
  }
  return Error();
}

Error File::Size(uint64_t* size) const {
  LARGE_INTEGER value;
  if (!GetFileSizeEx(H(handle_), &value)) return SystemError("cannot stat", path_);
  *size = static_cast<uint64_t>(value.QuadPart);
  return Error();
}

Error File::LinkCount(uint64_t* count) const {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(H(handle_), &info)) return SystemError("cannot stat", path_);
  *count = info.nNumberOfLinks;
  return Error();
}

bool File::IsAt(const std::string& path) const {
  HANDLE other = OpenForQuery(path);
  if (other == INVALID_HANDLE_VALUE) return false;
  const bool same = SameFile(H(handle_), other);
  CloseHandle(other);
  return same;
}

Error File::Lock(uint64_t byte, LockKind kind) {
  // Windows keeps each lock a handle takes, even on the same byte: drop the
  // one held before taking the new one.
  Unlock(byte);
  OVERLAPPED at = At(byte);
  DWORD flags = LOCKFILE_FAIL_IMMEDIATELY;
  if (kind == LockKind::kExclusive) flags |= LOCKFILE_EXCLUSIVE_LOCK;
  if (LockFileEx(H(handle_), flags, 0, 1, 0, &at)) return Error();
  const DWORD code = GetLastError();
  if (code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING) {
    return Error(Error::Kind::kBusy, "the file is locked by another program: " + path_);
  }
  return SystemError("cannot lock", path_, code);
}

void File::Unlock(uint64_t byte) {
  OVERLAPPED at = At(byte);
  while (UnlockFileEx(H(handle_), 0, 1, 0, &at)) {
  }
}

FileKind KindOf(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::kAbsent;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::kOther : FileKind::kRegular;
}

Error ResolvePath(const std::string& path, std::string* resolved) {
  HANDLE handle = OpenForQuery(path);
  if (handle == INVALID_HANDLE_VALUE) return SystemError("cannot open", path);
  std::wstring name(MAX_PATH, L'\0');
  DWORD length = GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()), 0);
  if (length >= name.size()) {
    name.resize(length + 1);
    length = GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()), 0);
  }
  const DWORD code = GetLastError();
  CloseHandle(handle);
  if (length == 0) return SystemError("cannot open", path, code);
  name.resize(length);
  // "\\?\C:\..." and "\\?\UNC\server\share\..." back to the usual forms.
  if (name.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    name = L"\\\\" + name.substr(8);
  } else if (name.rfind(L"\\\\?\\", 0) == 0) {
    name = name.substr(4);
  }
  *resolved = Narrow(name);
  return Error();
}

Error RemoveFile(const std::string& path) {
  if (!RetriedWhileShared([&] { return DeleteFileW(Widen(path).c_str()) != 0; })) {
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) {
      return SystemError("cannot remove", path, code);
    }
  }
  return Error();
}

Error SyncParentDirectory(const std::string&) {
  // NTFS journals its folders: a name made or removed is durable with the
  // next metadata commit, and a folder cannot be flushed without
  // administrator rights.
  return Error();
}

Error PublishNew(const std::string& temp, const std::string& path) {
  // Without MOVEFILE_REPLACE_EXISTING an existing name is never replaced.
  if (!RetriedWhileShared([&] {
        return MoveFileExW(Widen(temp).c_str(), Widen(path).c_str(), MOVEFILE_WRITE_THROUGH) != 0;
      })) {
    const DWORD code = GetLastError();
    if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) {
      return Error(Error::Kind::kExists, "the file already exists: " + path);
    }
    return SystemError("cannot create", path, code);
  }
  return Error();
}

Error AppendAndSync(const std::string& path, std::string_view bytes) {
  HANDLE handle = CreateFileW(Widen(path).c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return SystemError("cannot open", path);
  DWORD put = 0;
  BOOL ok = WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
            put == bytes.size();
  ok = FlushFileBuffers(handle) && ok;
  const DWORD code = GetLastError();
  CloseHandle(handle);
  return ok ? Error() : SystemError("cannot append to", path, code);
}

void SleepMilliseconds(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

}  // namespace platform
