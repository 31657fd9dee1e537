#include "imageio/SafeFileWrite.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "imageio/ImageFile.h"
#include "imageio/VXFileName.h"

namespace quarvel {

namespace {

/// The folder part of target as the messages show it ("./" for a bare name) and as the system
/// calls take it ("." for a bare name).
struct Folder {
    std::string shown;
    std::string path;
};

Folder FolderOf(const std::filesystem::path& target) {
    const std::string folder = VXFileName(target.string()).GetFolder();
    return folder.empty() ? Folder{"./", "."} : Folder{folder, folder};
}

/// The permission bits a new file gets from the process's file mode creation mask.
mode_t NewFileMode() {
    mode_t mask = 022;
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, status) != nullptr) {
            unsigned int value = 0;
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = static_cast<mode_t>(value);
                break;
            }
        }
        std::fclose(status);
    }
    return static_cast<mode_t>(0666 & ~mask);
}

/// Why no file could be created in target's folder (error is the system's code).
std::string CannotCreate(const std::filesystem::path& target, int error) {
    const Folder folder = FolderOf(target);
    const std::string prefix = "cannot write to " + folder.shown + ": ";
    struct stat info {};
    if (::stat(folder.path.c_str(), &info) != 0) {
        return prefix + (errno == ENOTDIR ? "not a folder" : "folder not found");
    }
    if (!S_ISDIR(info.st_mode)) {
        return prefix + "not a folder";
    }
    switch (error) {
        case EACCES:
        case EPERM:
            return prefix + "permission denied";
        case EROFS:
            return prefix + "read-only file system";
        case ENOSPC:
            return prefix + "disk full";
        case EDQUOT:
            return prefix + "disk quota exceeded";
        case ENAMETOOLONG:
            return prefix + "the file name is too long";
        default:
            return prefix + std::strerror(error);
    }
}

/// Why writing size bytes to target failed (error is the system's code).
std::string CannotWrite(const std::filesystem::path& target, int error, std::uint64_t size) {
    const std::string prefix = "cannot write " + target.string() + ": ";
    switch (error) {
        case EFBIG: {
            rlimit limit{};
            if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
                return prefix + MemorySizeText(size) + " is more than the file size limit of " +
                       MemorySizeText(limit.rlim_cur);
            }
            return prefix + "file too large for the file system";
        }
        case ENOSPC: {
            struct statvfs space {};
            if (::statvfs(FolderOf(target).path.c_str(), &space) == 0) {
                const std::uint64_t free = static_cast<std::uint64_t>(space.f_bavail) *
                                           static_cast<std::uint64_t>(space.f_frsize);
                return prefix + "disk full (" + MemorySizeText(size) + " needed, " +
                       MemorySizeText(free) + " free)";
            }
            return prefix + "disk full";
        }
        case EDQUOT:
            return prefix + "disk quota exceeded";
        case EIO:
            return prefix + "input/output error";
        default:
            return prefix + std::strerror(error);
    }
}

/// Writes all size bytes to fd; 0 on success, else the system's error code.
int WriteAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        // Large writes go in pieces of 1 GiB: a single write() moves at most about 2 GiB.
        const std::size_t piece = size < (std::size_t{1} << 30) ? size : (std::size_t{1} << 30);
        const ssize_t written = ::write(fd, data, piece);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (written == 0) {
            return EIO;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

/// Creates a new temporary file for target in its folder, open for writing; -1 with errno set
/// when none can be made. The name is hidden and ends in ".part" so that it is not taken for
/// an image, and is shortened where the target's name is close to the longest allowed.
int CreateTemporary(const std::filesystem::path& target, std::string& name) {
    std::string base = target.filename().string();
    constexpr std::size_t kLongestBase = 200;
    if (base.size() > kLongestBase) {
        base.resize(kLongestBase);
    }
    const std::filesystem::path folder = target.parent_path();
    // mkostemps replaces the six characters before the suffix with random ones.
    const std::string pattern = "." + base + "." + std::string(6, 'X') + ".part";
    name = ((folder.empty() ? std::filesystem::path(".") : folder) / pattern).string();
    return ::mkostemps(name.data(), 5, O_CLOEXEC);
}

}  // namespace

std::string WriteFileReplacing(const std::filesystem::path& path, const void* data,
                               std::size_t size) {
    // A symbolic link keeps pointing where it did: the file it names is the one replaced.
    std::filesystem::path target = path;
    std::error_code ignored;
    if (std::filesystem::is_symlink(path, ignored)) {
        const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ignored);
        if (!ignored) {
            target = resolved;
        }
    }

    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        return "cannot write to " + path.string() +
               (S_ISDIR(existing.st_mode) ? ": it is a folder" : ": not a regular file");
    }

    std::string temporary;
    const int fd = CreateTemporary(target, temporary);
    if (fd < 0) {
        return CannotCreate(path, errno);
    }
    // A file its owner made read-only is not replaced, even where the folder would allow it.
    if (exists && ::access(target.c_str(), W_OK) != 0) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return "cannot write to " + path.string() + ": permission denied";
    }
    const auto fail = [&](int error) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return CannotWrite(path, error, size);
    };
    if (::fchmod(fd, exists ? (existing.st_mode & 07777) : NewFileMode()) != 0) {
        return fail(errno);
    }
    if (const int error = WriteAll(fd, static_cast<const unsigned char*>(data), size); error != 0) {
        return fail(error);
    }
    // Space on some file systems is only found to be missing when the data reaches the disk.
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        return fail(errno);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return CannotWrite(path, error, size);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return CannotWrite(path, error, size);
    }
    // The new name is made durable too; a folder that cannot be synced does not undo the save.
    const int folder = ::open(FolderOf(target).path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        static_cast<void>(::fsync(folder));
        ::close(folder);
    }
    return {};
}

}  // namespace quarvel
