// The ranking file on Windows: %APPDATA%\JorvoDice\Ranking.txt, in the user's roaming application
// data known folder. JORVO_DATA_HOME, when set to an absolute path, stands in for that folder, so
// that tests can keep their files apart.
//
// Paths are UTF-16 for the system calls and UTF-8 in the messages.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include "storage/storage.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <fcntl.h>
#include <io.h>

namespace {

constexpr const wchar_t* FolderName = L"JorvoDice";
constexpr const wchar_t* FileName = L"Ranking.txt";
constexpr const wchar_t* LockName = L"Ranking.lock";
constexpr std::size_t WidePathChars = 1024;

struct WidePath {
    wchar_t text[WidePathChars];
    std::size_t length;
};

void toUtf8(const wchar_t* wide, char* out, std::size_t size) {
    const int written =
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, static_cast<int>(size), nullptr, nullptr);
    if (written <= 0) {
        out[0] = '\0';
    }
}

// The system's own words for `code`, without the line break it ends with.
void setReason(StorageError& error, DWORD code) {
    wchar_t message[ReasonBytes];
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, message, ReasonBytes, nullptr);
    if (length == 0) {
        std::snprintf(error.reason, sizeof error.reason, "system error %lu",
                      static_cast<unsigned long>(code));
        return;
    }
    DWORD end = length;
    while (end > 0 && (message[end - 1] == L'\r' || message[end - 1] == L'\n' ||
                       message[end - 1] == L' ' || message[end - 1] == L'.')) {
        --end;
    }
    message[end] = L'\0';
    toUtf8(message, error.reason, sizeof error.reason);
}

bool fail(StorageError& error, DWORD code) {
    setReason(error, code);
    return false;
}

bool append(WidePath& path, const wchar_t* text) {
    const std::size_t length = std::wcslen(text);
    if (path.length + length + 1 > WidePathChars) {
        return false;
    }
    std::wmemcpy(path.text + path.length, text, length + 1);
    path.length += length;
    return true;
}

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// The folder in front of JorvoDice: the test override, else the roaming application data folder.
bool baseFolder(WidePath& out, StorageError& error) {
    out.length = 0;
    out.text[0] = L'\0';
    const DWORD length = GetEnvironmentVariableW(L"JORVO_DATA_HOME", out.text, WidePathChars);
    if (length >= WidePathChars) {
        out.text[0] = L'\0';
        std::snprintf(error.path, sizeof error.path, "%%JORVO_DATA_HOME%%\\JorvoDice");
        return fail(error, ERROR_FILENAME_EXCED_RANGE);
    }
    if (length > 0 && (out.text[1] == L':' || isSeparator(out.text[0]))) {
        out.length = length;
        return true;
    }
    out.text[0] = L'\0';
    PWSTR known = nullptr;
    const HRESULT result =
        SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &known);
    if (FAILED(result)) {
        CoTaskMemFree(known);
        std::snprintf(error.path, sizeof error.path, "%%APPDATA%%\\JorvoDice");
        return fail(error, static_cast<DWORD>(result));
    }
    const bool fits = append(out, known);
    CoTaskMemFree(known);
    if (!fits) {
        std::snprintf(error.path, sizeof error.path, "%%APPDATA%%\\JorvoDice");
        return fail(error, ERROR_FILENAME_EXCED_RANGE);
    }
    return true;
}

// Creates every missing folder of `path`'s parent. The drive or the server and share in front
// are taken as they are.
bool createParents(WidePath& path, StorageError& error) {
    std::size_t start = 0;
    if (path.length >= 3 && path.text[1] == L':' && isSeparator(path.text[2])) {
        start = 3;
    } else if (path.length >= 2 && isSeparator(path.text[0]) && isSeparator(path.text[1])) {
        int separators = 0;
        for (start = 2; start < path.length && separators < 2; ++start) {
            separators += isSeparator(path.text[start]) ? 1 : 0;
        }
    }
    for (std::size_t i = start; i < path.length; ++i) {
        if (!isSeparator(path.text[i]) || i == 0 || isSeparator(path.text[i - 1])) {
            continue;
        }
        const wchar_t saved = path.text[i];
        path.text[i] = L'\0';
        DWORD attributes = GetFileAttributesW(path.text);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            if (CreateDirectoryW(path.text, nullptr) == 0 &&
                GetLastError() != ERROR_ALREADY_EXISTS) {
                const DWORD code = GetLastError();
                path.text[i] = saved;
                return fail(error, code);
            }
            attributes = GetFileAttributesW(path.text);
        }
        path.text[i] = saved;
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            return fail(error, GetLastError());
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            return fail(error, ERROR_DIRECTORY);
        }
    }
    return true;
}

// The path of `name` in the ranking folder, with the folders created and the path noted in
// `error` for any message that follows.
void appendName(StorageError& error, const wchar_t* name) {
    char utf8[64];
    toUtf8(name, utf8, sizeof utf8);
    const std::size_t used = std::strlen(error.path);
    std::snprintf(error.path + used, sizeof error.path - used, "\\%s", utf8);
}

bool prepare(const wchar_t* name, WidePath& path, StorageError& error) {
    if (!baseFolder(path, error)) {
        appendName(error, name);
        return false;
    }
    while (path.length > 0 && isSeparator(path.text[path.length - 1])) {
        path.text[--path.length] = L'\0';
    }
    toUtf8(path.text, error.path, sizeof error.path);
    if (!append(path, L"\\") || !append(path, FolderName) || !append(path, L"\\") ||
        !append(path, name)) {
        // The message still names the file, after the folder it would be in.
        const std::size_t used = std::strlen(error.path);
        std::snprintf(error.path + used, sizeof error.path - used, "\\JorvoDice");
        appendName(error, name);
        return fail(error, ERROR_FILENAME_EXCED_RANGE);
    }
    toUtf8(path.text, error.path, sizeof error.path);
    return createParents(path, error);
}

// Other games may read or replace the file while this one holds it open.
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool writeAll(HANDLE file, const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (WriteFile(file, data, chunk, &written, nullptr) == 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// A file the user made read-only stays as it is. Its attribute is looked at rather than left to
// the open, which an administrator's rights, or wine run as root, would let through.
bool isReadOnly(DWORD attributes, StorageError& error) {
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        setReason(error, ERROR_ACCESS_DENIED);
        return true;
    }
    return false;
}

// The length of `path` without its last name: up to and with its last separator.
std::size_t folderLength(const WidePath& path) {
    std::size_t length = path.length;
    while (length > 0 && !isSeparator(path.text[length - 1])) {
        --length;
    }
    return length;
}

// Whether `suffix`, what follows a file's name, is what a save adds to it for its temporary file:
// ".tmp-", the process number, "-" and the attempt number.
bool isTemporarySuffix(const wchar_t* suffix) {
    if (std::wcsncmp(suffix, L".tmp-", 5) != 0) {
        return false;
    }
    const wchar_t* p = suffix + 5;
    for (int part = 0; part < 2; ++part) {
        const wchar_t* digits = p;
        while (*p >= L'0' && *p <= L'9') {
            ++p;
        }
        if (p == digits || *p != (part == 0 ? L'-' : L'\0')) {
            return false;
        }
        ++p;
    }
    return true;
}

// Removes the temporary files that saves of `file` left when they were killed before their
// rename. Only a save holding the lock writes one, so while the lock is held every one found is
// left over.
void removeLeftoverTemporaries(const WidePath& file) {
    WidePath pattern = file;
    if (!append(pattern, L".tmp-*")) {
        return;
    }
    const std::size_t nameLength = file.length - folderLength(file);
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(pattern.text, &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        WidePath leftover = file;
        leftover.length = folderLength(file);
        leftover.text[leftover.length] = L'\0';
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            std::wcslen(found.cFileName) > nameLength &&
            isTemporarySuffix(found.cFileName + nameLength) && append(leftover, found.cFileName)) {
            DeleteFileW(leftover.text);
        }
    } while (FindNextFileW(search, &found) != 0);
    FindClose(search);
}

// The path of `path` as the system names it: without the "\\?\" in front of a final path, and
// "\\server\share" for its "\\?\UNC\server\share".
const wchar_t* withoutLongPrefix(const wchar_t* path, wchar_t (&out)[WidePathChars]) {
    if (std::wcsncmp(path, L"\\\\?\\UNC\\", 8) == 0) {
        std::swprintf(out, WidePathChars, L"\\\\%ls", path + 8);
        return out;
    }
    return std::wcsncmp(path, L"\\\\?\\", 4) == 0 ? path + 4 : path;
}

// Names, in `error`, the folder that holds `path`: a file that could not be made there was kept
// out by its folder.
void blameFolder(const WidePath& path, StorageError& error) {
    WidePath folder = path;
    folder.length = folderLength(path);
    while (folder.length > 0 && isSeparator(folder.text[folder.length - 1])) {
        --folder.length;
    }
    folder.text[folder.length] = L'\0';
    wchar_t shown[WidePathChars];
    toUtf8(withoutLongPrefix(folder.text, shown), error.path, sizeof error.path);
}

// Whether two paths name the same file the same way, but for the case of letters and the kind of
// separator.
bool samePath(const wchar_t* a, const wchar_t* b) {
    for (; *a != L'\0' && *b != L'\0'; ++a, ++b) {
        const bool separators = isSeparator(*a) && isSeparator(*b);
        if (!separators && std::towlower(*a) != std::towlower(*b)) {
            return false;
        }
    }
    return *a == *b;
}

// The file that `path` stands for, into `path`: when it is a symbolic link, the file it leads to,
// as the system names the file it opens through it; true then, and `error` names that file from
// here on. A path that cannot be opened (no file yet, or a link to a file not made yet) stays as
// it is.
bool followLinks(WidePath& path, StorageError& error) {
    const HANDLE file = CreateFileW(path.text, FILE_READ_ATTRIBUTES, ShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    wchar_t finalPath[WidePathChars];
    const DWORD length = GetFinalPathNameByHandleW(file, finalPath, WidePathChars,
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(file);
    wchar_t shown[WidePathChars];
    if (length == 0 || length >= WidePathChars ||
        samePath(withoutLongPrefix(finalPath, shown), path.text)) {
        return false;
    }
    path.length = 0;
    path.text[0] = L'\0';
    append(path, finalPath);
    toUtf8(withoutLongPrefix(finalPath, shown), error.path, sizeof error.path);
    return true;
}

// The file a save writes its new content into, beside the file it replaces, named after this
// process: its name, ".tmp-" and the process and attempt numbers, a name nothing else has. Fails
// with `error` filled, naming the folder when the folder does not let the file be made.
HANDLE createTemporary(const WidePath& path, WidePath& temporary, StorageError& error) {
    wchar_t suffix[32];
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        temporary = path;
        std::swprintf(suffix, sizeof suffix / sizeof suffix[0], L".tmp-%lu-%u",
                      static_cast<unsigned long>(GetCurrentProcessId()), attempt);
        if (!append(temporary, suffix)) {
            fail(error, ERROR_FILENAME_EXCED_RANGE);
            return INVALID_HANDLE_VALUE;
        }
        const HANDLE file = CreateFileW(temporary.text, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            return file;
        }
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS) {
            blameFolder(path, error);
            fail(error, code);
            return INVALID_HANDLE_VALUE;
        }
    }
    fail(error, ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

} // namespace

std::FILE* openRankingFile(StorageError& error) {
    WidePath path{};
    if (!prepare(FileName, path, error)) {
        return nullptr;
    }
    // Read and append access: creates the file when it is missing, and fails where it could not
    // be saved. Through a symbolic link it is the file the link leads to that is opened, or
    // created.
    const HANDLE file = CreateFileW(path.text, GENERIC_READ | FILE_APPEND_DATA, ShareAll, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        setReason(error, GetLastError());
        return nullptr;
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        setReason(error, ERROR_BAD_FILE_TYPE);
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileInformationByHandle(file, &information) != 0 &&
        isReadOnly(information.dwFileAttributes, error)) {
        CloseHandle(file);
        return nullptr;
    }
    // Binary, as on POSIX: the reader takes CR as a blank, and text mode would end the file at
    // the first Ctrl+Z byte.
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(file);
        setReason(error, ERROR_TOO_MANY_OPEN_FILES);
        return nullptr;
    }
    std::FILE* stream = _fdopen(fd, "rb");
    if (stream == nullptr) {
        _close(fd); // closes the handle too
        setReason(error, ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return stream;
}

RankingLock lockRanking(StorageError& error, bool* busy) {
    if (busy != nullptr) {
        *busy = false;
    }
    WidePath path{};
    if (!prepare(LockName, path, error)) {
        return NoLock;
    }
    const HANDLE file = CreateFileW(path.text, GENERIC_READ | GENERIC_WRITE, ShareAll, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (GetFileAttributesW(path.text) == INVALID_FILE_ATTRIBUTES &&
            GetLastError() == ERROR_FILE_NOT_FOUND) {
            blameFolder(path, error); // no lock file, and none could be made
        }
        setReason(error, code);
        return NoLock;
    }
    // The system drops the lock with its process, so a lock file left by a killed game holds
    // nobody up. Without LOCKFILE_FAIL_IMMEDIATELY this waits for another game's save.
    OVERLAPPED start{};
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (busy != nullptr ? LOCKFILE_FAIL_IMMEDIATELY : 0);
    if (LockFileEx(file, flags, 0, 1, 0, &start) == 0) {
        const DWORD code = GetLastError();
        CloseHandle(file);
        if (busy != nullptr && code == ERROR_LOCK_VIOLATION) {
            *busy = true;
            return NoLock;
        }
        setReason(error, code);
        return NoLock;
    }
    WidePath ranking = path;
    ranking.length = folderLength(path);
    ranking.text[ranking.length] = L'\0';
    if (append(ranking, FileName)) {
        removeLeftoverTemporaries(ranking);
    }
    return reinterpret_cast<RankingLock>(file);
}

void unlockRanking(RankingLock lock) {
    if (lock == NoLock) {
        return;
    }
    const HANDLE file = reinterpret_cast<HANDLE>(lock);
    OVERLAPPED start{};
    UnlockFileEx(file, 0, 1, 0, &start);
    CloseHandle(file);
}

bool checkRankingSave(StorageError& error) {
    bool busy = false;
    const RankingLock lock = lockRanking(error, &busy);
    if (lock == NoLock && !busy) {
        return false;
    }
    unlockRanking(lock);
    WidePath path{};
    if (!prepare(FileName, path, error)) {
        return false;
    }
    followLinks(path, error);
    WidePath temporary{};
    const HANDLE file = createTemporary(path, temporary, error);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    DeleteFileW(temporary.text);
    return true;
}

// A ranking file that is a symbolic link keeps it: the file it leads to is replaced, by a temporary
// file beside that one, so that the move stays on its volume.
bool replaceRankingFile(const char* data, std::size_t size, StorageError& error) {
    WidePath path{};
    if (!prepare(FileName, path, error)) {
        return false;
    }
    // Taking the lock cleaned the ranking's own folder; a linked file's folder is cleaned here.
    if (followLinks(path, error)) {
        removeLeftoverTemporaries(path);
    }
    if (isReadOnly(GetFileAttributesW(path.text), error)) {
        return false;
    }
    WidePath temporary{};
    const HANDLE file = createTemporary(path, temporary, error);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    if (!writeAll(file, data, size) || FlushFileBuffers(file) == 0) {
        const DWORD code = GetLastError();
        CloseHandle(file);
        DeleteFileW(temporary.text);
        return fail(error, code);
    }
    CloseHandle(file);
    if (MoveFileExW(temporary.text, path.text,
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        const DWORD code = GetLastError();
        DeleteFileW(temporary.text);
        return fail(error, code);
    }
    return true;
}
