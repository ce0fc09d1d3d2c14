// The output rule: checks before writing, replacement of regular files, in-place streams.
#include "OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const fs::path& path, const std::string& what) {
    throw std::runtime_error(path.string() + ": " + what);
}
[[noreturn]] void failWithErrno(const fs::path& path, const char* what) {
    fail(path, std::string(what) + " (" + std::strerror(errno) + ")");
}

fs::path folderOf(const fs::path& path) { return path.has_parent_path() ? path.parent_path() : fs::path("."); }

// Follows a chain of symbolic links to the path they finally name, which need not exist.
fs::path followLinks(const fs::path& path) {
    fs::path p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        std::error_code ec;
        const fs::path target = fs::read_symlink(p, ec);
        if (ec) fail(path, "cannot follow the link (" + ec.message() + ")");
        p = target.is_absolute() ? target : folderOf(p) / target;
    }
    fail(path, "too many levels of symbolic links");
}

// What an existing file holds, by its first bytes.
enum class Content { Empty, Audio, PropertyList, Midi, Other };

Content contentOf(const fs::path& path) {
    char head[512];
    std::size_t n = 0;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        n = std::fread(head, 1, sizeof head, f);
        std::fclose(f);
    } else {
        failWithErrno(path, "cannot read the existing file");
    }
    const std::string_view text(head, n);
    if (n == 0) return Content::Empty;
    if (n >= 12 && (text.starts_with("RIFF") || text.starts_with("RF64") || text.starts_with("BW64")) &&
        text.substr(8, 4) == "WAVE")
        return Content::Audio;
    if (text.starts_with("fLaC") || text.starts_with("OggS")) return Content::Audio;
    if (text.starts_with("MThd")) return Content::Midi;
    if (text.starts_with("bplist") || text.find("<plist") != std::string_view::npos ||
        text.find("<!DOCTYPE plist") != std::string_view::npos)
        return Content::PropertyList;
    return Content::Other;
}

const char* describe(Content c) {
    switch (c) {
        case Content::Audio: return "an audio file";
        case Content::PropertyList: return "a property list";
        case Content::Midi: return "a MIDI file";
        default: return nullptr;
    }
}

}  // namespace

OutputTarget resolveOutput(const fs::path& path) {
    if (path == "-") return {OutputTarget::Type::StandardOutput, path, path};
    if (path.empty()) throw std::runtime_error("empty output path");
    OutputTarget target{OutputTarget::Type::NewFile, path, followLinks(path)};
    struct stat st {};
    if (stat(target.resolved.c_str(), &st) != 0) {
        if (errno != ENOENT) failWithErrno(path, "cannot write");
        struct stat folder {};
        if (stat(folderOf(target.resolved).c_str(), &folder) != 0) failWithErrno(path, "cannot write");
        if (!S_ISDIR(folder.st_mode))
            fail(path, "cannot write (" + folderOf(target.resolved).string() + " is not a folder)");
        return target;
    }
    if (S_ISREG(st.st_mode))
        target.type = OutputTarget::Type::ExistingFile;
    else if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))
        target.type = OutputTarget::Type::Stream;
    else if (S_ISDIR(st.st_mode))
        fail(path, "is a folder");
    else if (S_ISBLK(st.st_mode))
        fail(path, "is a block device; not written");
    else
        fail(path, "is not a file, FIFO or character device; not written");
    return target;
}

OutputTarget checkOutput(const fs::path& path, OutputKind kind, const std::vector<InputFile>& inputs, bool force) {
    const OutputTarget target = resolveOutput(path);
    struct stat out {};
    bool exists = false;
    if (target.type == OutputTarget::Type::StandardOutput) {
        if (kind == OutputKind::Audio && isatty(STDOUT_FILENO))
            throw std::runtime_error("standard output is a terminal; redirect it to a file or a program");
        exists = fstat(STDOUT_FILENO, &out) == 0;
    } else if (target.type != OutputTarget::Type::NewFile) {
        exists = stat(target.resolved.c_str(), &out) == 0;
    }
    if (exists)
        for (const InputFile& input : inputs) {
            struct stat in {};
            if (!input.path.empty() && stat(input.path.c_str(), &in) == 0 && in.st_dev == out.st_dev &&
                in.st_ino == out.st_ino)
                throw std::runtime_error(target.name() + ": is " + input.role + " being read" +
                                         (input.path == path ? "" : " (" + input.path.string() + ")") +
                                         "; choose another output");
        }
    if (target.type == OutputTarget::Type::ExistingFile && !force) {
        const Content found = contentOf(target.resolved);
        const Content wanted = kind == OutputKind::Audio ? Content::Audio : Content::PropertyList;
        if (found != Content::Empty && found != wanted) {
            const std::string what = describe(found) ? std::string(describe(found)) + ", not " + describe(wanted)
                                                     : std::string("not ") + describe(wanted);
            fail(path, "exists and is " + what + "; --force replaces it");
        }
    }
    return target;
}

void checkFreeSpace(const OutputTarget& target, std::uintmax_t bytes) {
    if (!target.regularFile()) return;
    struct statvfs fs {};
    if (statvfs(folderOf(target.resolved).c_str(), &fs) != 0) return;  // unknown: the write will tell
    // A replaced file's space comes back only after the rename, so it does not count.
    const double free = double(fs.f_bavail) * double(fs.f_frsize);
    if (double(bytes) > free)
        fail(target.path, "needs " + describeBytes(double(bytes)) + ", " + describeBytes(free) + " free");
}

ReplacementFile::ReplacementFile(const OutputTarget& target) : mTarget(target) {
    mTemporary =
        folderOf(target.resolved) / ("." + target.resolved.filename().string() + ".tmp" + std::to_string(getpid()));
    struct stat old {};
    const bool replacing = stat(target.resolved.c_str(), &old) == 0;
    unlink(mTemporary.c_str());  // left by a killed run of the same process ID
    mFd = open(mTemporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (mFd < 0) failWithErrno(target.path, "cannot write");
    if (replacing) fchmod(mFd, old.st_mode & 07777);
}

ReplacementFile::~ReplacementFile() {
    if (mFd >= 0) close(mFd);
    if (!mTemporary.empty()) unlink(mTemporary.c_str());
}

void ReplacementFile::commit() {
    // The old file goes only once the new one is on disk.
    const bool synced = mTarget.type != OutputTarget::Type::ExistingFile || fsync(mFd) == 0;
    const int closed = close(mFd);
    mFd = -1;
    if (!synced || closed != 0) failWithErrno(mTarget.path, "writing failed");
    if (rename(mTemporary.c_str(), mTarget.resolved.c_str()) != 0) failWithErrno(mTarget.path, "cannot write");
    mTemporary.clear();
}

int openInPlace(const OutputTarget& target) {
    if (target.type == OutputTarget::Type::StandardOutput) return STDOUT_FILENO;
    const int fd = open(target.resolved.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) failWithErrno(target.path, "cannot write");
    struct stat st {};
    if (fstat(fd, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))) {
        close(fd);
        fail(target.path, "changed while it was being checked; not written");
    }
    return fd;
}

bool writeAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

void writeFileAtomically(const fs::path& path, const std::string& bytes) {
    const OutputTarget target = resolveOutput(path);
    if (target.regularFile()) {
        ReplacementFile file(target);
        if (!writeAll(file.fd(), bytes.data(), bytes.size())) failWithErrno(path, "writing failed");
        file.commit();
        return;
    }
    const int fd = openInPlace(target);
    const bool written = writeAll(fd, bytes.data(), bytes.size());
    const int error = errno;
    if (fd != STDOUT_FILENO) close(fd);
    errno = error;
    if (!written) failWithErrno(path, "writing failed");
}

fs::path writeNewFile(const fs::path& folder, const std::string& stem, const std::string& extension,
                      const std::string& bytes) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) fail(folder, "cannot create the folder (" + ec.message() + ")");
    const fs::path temporary = folder / ("." + stem + ".tmp" + std::to_string(getpid()));
    unlink(temporary.c_str());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) failWithErrno(folder, "cannot write");
    const bool written = writeAll(fd, bytes.data(), bytes.size()) && fsync(fd) == 0;
    const int error = errno;
    close(fd);
    if (!written) {
        unlink(temporary.c_str());
        errno = error;
        failWithErrno(folder, "writing failed");
    }
    // A hard link is made only where nothing has the name yet: no file is ever replaced.
    for (int n = 1; n < 1000; ++n) {
        const fs::path path = folder / (stem + (n == 1 ? "" : "-" + std::to_string(n)) + extension);
        if (link(temporary.c_str(), path.c_str()) == 0) {
            unlink(temporary.c_str());
            return path;
        }
        if (errno != EEXIST) {
            const int linkError = errno;
            unlink(temporary.c_str());
            errno = linkError;
            failWithErrno(path, "cannot write");
        }
    }
    unlink(temporary.c_str());
    fail(folder / (stem + extension), "taken, and so are 999 other names");
}

std::string describeBytes(double bytes) {
    static const char* const units[] = {"bytes", "kB", "MB", "GB", "TB", "PB"};
    int u = 0;
    while (bytes >= 1000 && u < 5) {
        bytes /= 1000;
        ++u;
    }
    char text[32];
    std::snprintf(text, sizeof text, u ? "%.1f %s" : "%.0f %s", bytes, units[u]);
    return text;
}
