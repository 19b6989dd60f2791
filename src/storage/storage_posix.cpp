// The ranking file on POSIX systems: $XDG_DATA_HOME/JorvoDice (else ~/.local/share/JorvoDice), or
// ~/Library/Application Support/JorvoDice on macOS.
#include "storage/storage.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* FolderName = "JorvoDice";
constexpr const char* FileName = "Ranking.txt";
constexpr const char* LockName = "Ranking.lock";
// A save writes the file it replaces with ".tmp-" and six random characters added to its name;
// nothing else has such a name.
constexpr const char* TemporarySuffix = ".tmp-";
// Symbolic links followed at most from the ranking file to the file it stands for, as the system
// follows them in a path.
constexpr int MaxLinks = 40;

void setReason(StorageError& error, int errnum) {
    std::snprintf(error.reason, sizeof error.reason, "%s", std::strerror(errnum));
}

bool fail(StorageError& error, int errnum) {
    setReason(error, errnum);
    return false;
}

const char* homeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return home;
    }
    const passwd* entry = getpwuid(getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : nullptr;
}

// The path of `name` in the ranking's folder, into `out`. On failure `error` still names the path,
// as far as it is known and cut to what it holds.
bool pathInFolder(const char* name, char* out, std::size_t size, StorageError& error) {
    int written = 0;
#if defined(__APPLE__)
    const char* home = homeFolder();
    if (home == nullptr) {
        std::snprintf(error.path, sizeof error.path, "~/Library/Application Support/%s/%s",
                      FolderName, name);
        return fail(error, ENOENT);
    }
    written =
        std::snprintf(out, size, "%s/Library/Application Support/%s/%s", home, FolderName, name);
#else
    const char* base = std::getenv("XDG_DATA_HOME");
    if (base != nullptr && base[0] == '/') {
        written = std::snprintf(out, size, "%s/%s/%s", base, FolderName, name);
    } else {
        const char* home = homeFolder();
        if (home == nullptr) {
            std::snprintf(error.path, sizeof error.path, "~/.local/share/%s/%s", FolderName, name);
            return fail(error, ENOENT);
        }
        written = std::snprintf(out, size, "%s/.local/share/%s/%s", home, FolderName, name);
    }
#endif
    std::snprintf(error.path, sizeof error.path, "%s", out);
    if (written < 0 || static_cast<std::size_t>(written) >= size) {
        return fail(error, ENAMETOOLONG);
    }
    return true;
}

// The folder that holds `path`, into `folder`; false for a path without one.
bool folderOf(const char* path, char (&folder)[PathBytes]) {
    std::snprintf(folder, sizeof folder, "%s", path);
    char* slash = std::strrchr(folder, '/');
    if (slash == nullptr) {
        return false;
    }
    *slash = '\0';
    return true;
}

// A file or folder the game has just made at `path` (open as `fd`, or -1) in a folder of another
// user belongs to that user, with the folder's group: root playing with another user's data
// folder must not leave that user files they cannot use. Where the process may not give it away,
// it stays as made.
void giveToFolderOwner(const char* path, int fd) {
    char folder[PathBytes];
    struct stat owner {};
    if (!folderOf(path, folder) || stat(folder[0] == '\0' ? "/" : folder, &owner) != 0 ||
        owner.st_uid == geteuid()) {
        return;
    }
    const int changed =
        fd >= 0 ? fchown(fd, owner.st_uid, owner.st_gid) : lchown(path, owner.st_uid, owner.st_gid);
    (void)changed; // not allowed to: the file stays the user's own
}

// Creates every missing folder of `path`'s parent, each private to its owner.
bool createParents(const char* path, StorageError& error) {
    char partial[PathBytes];
    std::snprintf(partial, sizeof partial, "%s", path);
    for (char* slash = std::strchr(partial + 1, '/'); slash != nullptr;
         slash = std::strchr(slash + 1, '/')) {
        *slash = '\0';
        if (mkdir(partial, 0700) == 0) {
            giveToFolderOwner(partial, -1);
        } else if (errno != EEXIST) {
            return fail(error, errno);
        }
        struct stat info {};
        if (stat(partial, &info) != 0) {
            return fail(error, errno);
        }
        if (!S_ISDIR(info.st_mode)) {
            return fail(error, ENOTDIR);
        }
        *slash = '/';
    }
    return true;
}

bool prepare(const char* name, char* path, std::size_t size, StorageError& error) {
    return pathInFolder(name, path, size, error) && createParents(path, error);
}

bool writeEach(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Writes everything, or fails with errno set. A file size limit makes the write fail with EFBIG
// instead of ending the game by its signal, which would leave the terminal as the game had set it.
bool writeAll(int fd, const char* data, std::size_t size) {
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, &previous);
    const bool written = writeEach(fd, data, size);
    const int errnum = errno;
    sigaction(SIGXFSZ, &previous, nullptr);
    errno = errnum;
    return written;
}

// Opens `path` with `flags`, creating it with `mode` when it is missing; a file made so is given
// to the folder's owner (see giveToFolderOwner).
int openOrCreate(const char* path, int flags, mode_t mode) {
    for (;;) {
        const int made = open(path, flags | O_CREAT | O_EXCL, mode);
        if (made >= 0) {
            giveToFolderOwner(path, made);
            return made;
        }
        if (errno != EEXIST) {
            return -1;
        }
        const int fd = open(path, flags);
        if (fd >= 0 || errno != ENOENT) {
            return fd; // else removed in between: made again
        }
    }
}

// Names, in `error`, the folder of `path` when `path` is missing: a file that could not be made
// there was kept out by its folder.
void blameFolderOfMissing(const char* path, StorageError& error) {
    struct stat info {};
    char folder[PathBytes];
    if (lstat(path, &info) != 0 && errno == ENOENT && folderOf(path, folder)) {
        std::snprintf(error.path, sizeof error.path, "%s", folder);
    }
}

// A temporary file beside `path`, as a save writes it (see TemporarySuffix); its name goes into
// `temporary`. Fails with errno set, and `error` naming the folder that does not let it be made.
int createTemporary(const char* path, char (&temporary)[PathBytes + 16], StorageError& error) {
    std::snprintf(temporary, sizeof temporary, "%s%sXXXXXX", path, TemporarySuffix);
    const int fd = mkostemp(temporary, O_CLOEXEC);
    if (fd < 0) {
        const int errnum = errno;
        char folder[PathBytes];
        if (folderOf(path, folder)) {
            std::snprintf(error.path, sizeof error.path, "%s", folder);
        }
        errno = errnum;
    }
    return fd;
}

// Makes a rename in `path`'s folder durable.
void syncFolderOf(const char* path) {
    char folder[PathBytes];
    if (!folderOf(path, folder)) {
        return;
    }
    const int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// Removes the temporary files that saves of the file `name` in `folder` left when they were
// killed before their rename. Only a save holding the lock writes one, so while the lock is held
// every one found is left over.
void removeLeftoverTemporaries(const char* folder, const char* name) {
    DIR* entries = opendir(folder);
    if (entries == nullptr) {
        return;
    }
    char prefix[PathBytes + 16];
    std::snprintf(prefix, sizeof prefix, "%s%s", name, TemporarySuffix);
    const std::size_t prefixLength = std::strlen(prefix);
    while (const dirent* entry = readdir(entries)) {
        if (std::strncmp(entry->d_name, prefix, prefixLength) == 0 &&
            std::strlen(entry->d_name) == prefixLength + 6) {
            unlinkat(dirfd(entries), entry->d_name, 0);
        }
    }
    closedir(entries);
}

// The file that `path` stands for, into `target`: the link's target as long as it is a symbolic
// link, a relative target taken from the folder of the link that holds it. The walk ends at a path
// that is no link, whether a file is there or not: a link to a missing file stands for that file,
// which the game then creates. Fails with errno set, and `error` naming the path reached, on a
// loop of links or a target too long.
bool followLinks(const char* path, char (&target)[PathBytes], StorageError& error) {
    std::snprintf(target, sizeof target, "%s", path);
    for (int links = 0; links <= MaxLinks; ++links) {
        char link[PathBytes];
        const ssize_t length = readlink(target, link, sizeof link);
        if (length < 0) {
            // EINVAL: no link. Anything else (a missing folder) the open or the save meets again
            // and reports with this path.
            std::snprintf(error.path, sizeof error.path, "%s", target);
            return true;
        }
        if (static_cast<std::size_t>(length) >= sizeof link) {
            return fail(error, ENAMETOOLONG);
        }
        link[length] = '\0';
        char next[PathBytes];
        int written = 0;
        char folder[PathBytes];
        if (link[0] == '/' || !folderOf(target, folder)) {
            written = std::snprintf(next, sizeof next, "%s", link);
        } else {
            written = std::snprintf(next, sizeof next, "%s/%s", folder, link);
        }
        if (written < 0 || static_cast<std::size_t>(written) >= sizeof next) {
            return fail(error, ENAMETOOLONG);
        }
        std::snprintf(target, sizeof target, "%s", next);
    }
    std::snprintf(error.path, sizeof error.path, "%s", target);
    return fail(error, ELOOP);
}

// The ranking file's path into `path`, and followed through symbolic links into `target`, the
// file that the game reads and replaces; `error` names that file from here on.
bool prepareRankingFile(char (&path)[PathBytes], char (&target)[PathBytes], StorageError& error) {
    return prepare(FileName, path, sizeof path, error) && followLinks(path, target, error);
}

} // namespace

std::FILE* openRankingFile(StorageError& error) {
    char link[PathBytes];
    char path[PathBytes];
    if (!prepareRankingFile(link, path, error)) {
        return nullptr;
    }
    // Read and append: creates the file when it is missing, and fails where it could not be saved.
    const int fd = openOrCreate(path, O_RDWR | O_APPEND | O_CLOEXEC, 0666);
    std::FILE* file = fd >= 0 ? fdopen(fd, "a+") : nullptr;
    if (file == nullptr) {
        setReason(error, errno);
        if (fd >= 0) {
            close(fd);
        }
        return nullptr;
    }
    struct stat info {};
    if (fstat(fileno(file), &info) != 0) {
        setReason(error, errno);
        std::fclose(file);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        std::snprintf(error.reason, sizeof error.reason, "not a regular file");
        std::fclose(file);
        return nullptr;
    }
    std::rewind(file);
    return file;
}

RankingLock lockRanking(StorageError& error, bool* busy) {
    if (busy != nullptr) {
        *busy = false;
    }
    char path[PathBytes];
    if (!prepare(LockName, path, sizeof path, error)) {
        return NoLock;
    }
    const int fd = openOrCreate(path, O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int errnum = errno;
        blameFolderOfMissing(path, error);
        setReason(error, errnum);
        return NoLock;
    }
    // A lock dies with its process, so a lock file left by a killed game holds nobody up.
    while (flock(fd, busy != nullptr ? LOCK_EX | LOCK_NB : LOCK_EX) != 0) {
        if (errno == EWOULDBLOCK && busy != nullptr) {
            *busy = true;
            close(fd);
            return NoLock;
        }
        if (errno != EINTR) {
            setReason(error, errno);
            close(fd);
            return NoLock;
        }
    }
    char folder[PathBytes];
    if (folderOf(path, folder)) {
        removeLeftoverTemporaries(folder, FileName);
    }
    return fd;
}

void unlockRanking(RankingLock lock) {
    if (lock != NoLock) {
        close(static_cast<int>(lock)); // releases the lock
    }
}

bool checkRankingSave(StorageError& error) {
    bool busy = false;
    const RankingLock lock = lockRanking(error, &busy);
    if (lock == NoLock && !busy) {
        return false;
    }
    unlockRanking(lock);
    char link[PathBytes];
    char path[PathBytes];
    if (!prepareRankingFile(link, path, error)) {
        return false;
    }
    char temporary[PathBytes + 16];
    const int fd = createTemporary(path, temporary, error);
    if (fd < 0) {
        return fail(error, errno);
    }
    close(fd);
    unlink(temporary);
    return true;
}

// A ranking file that is a symbolic link keeps it: the file it stands for is replaced, by a
// temporary file beside that one, so that the rename stays on its file system.
bool replaceRankingFile(const char* data, std::size_t size, StorageError& error) {
    char link[PathBytes];
    char path[PathBytes];
    if (!prepareRankingFile(link, path, error)) {
        return false;
    }
    // Taking the lock cleaned the ranking's own folder; a linked file's folder is cleaned here.
    char folder[PathBytes];
    if (std::strcmp(link, path) != 0 && folderOf(path, folder)) {
        removeLeftoverTemporaries(folder, path + std::strlen(folder) + 1);
    }
    // A file the user made read-only stays as it is, although the folder would allow replacing it.
    if (access(path, W_OK) != 0 && errno != ENOENT) {
        return fail(error, errno);
    }
    char temporary[PathBytes + 16];
    const int fd = createTemporary(path, temporary, error);
    if (fd < 0) {
        return fail(error, errno);
    }
    // The new file keeps the owner, the group and the permissions of the old one, as far as the
    // process may set them (a user may give it a group of their own, root any owner); a first
    // one belongs to the folder's owner.
    struct stat old {};
    if (stat(path, &old) == 0) {
        if ((old.st_uid != geteuid() || old.st_gid != getegid()) &&
            fchown(fd, old.st_uid, old.st_gid) != 0) {
            const int changed = fchown(fd, static_cast<uid_t>(-1), old.st_gid);
            (void)changed; // not a group of the user's: the file gets the user's
        }
        fchmod(fd, old.st_mode & 07777);
    } else {
        giveToFolderOwner(path, fd);
    }
    if (!writeAll(fd, data, size) || fsync(fd) != 0) {
        const int errnum = errno;
        close(fd);
        unlink(temporary);
        return fail(error, errnum);
    }
    if (close(fd) != 0) {
        const int errnum = errno;
        unlink(temporary);
        return fail(error, errnum);
    }
    if (rename(temporary, path) != 0) {
        const int errnum = errno;
        unlink(temporary);
        return fail(error, errnum);
    }
    syncFolderOf(path);
    return true;
}
