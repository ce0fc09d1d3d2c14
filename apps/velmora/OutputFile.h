// Outputs of the host (a rendered WAV, a saved state): one rule for every
// command that writes a file, so that no command can cost the user a file.
//
// - An output that is one of the files being read (also through a link) is refused.
// - An existing file of another kind (a song where a WAV goes) is replaced only with --force.
// - A symbolic link is written through: its target is replaced, the link stays.
// - A regular file is written under a temporary name beside it and renamed at the end,
//   so that a failure leaves the old file (or none).
// - "-" (standard output), FIFOs and character devices are written in place: never
//   renamed over, never removed.
// Every check runs before anything is written; each throws std::runtime_error.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

enum class OutputKind { Audio, PropertyList };

struct OutputTarget {
    enum class Type { StandardOutput, NewFile, ExistingFile, Stream };  // Stream: a FIFO or character device
    Type type;
    std::filesystem::path path;      // as given, for messages
    std::filesystem::path resolved;  // symbolic links followed: the path written

    bool regularFile() const { return type == Type::NewFile || type == Type::ExistingFile; }
    std::string name() const { return type == Type::StandardOutput ? "standard output" : path.string(); }
};

struct InputFile {
    std::filesystem::path path;
    std::string role;  // "the song", "the state file"
};

// What `path` is, with links followed; refuses what is never written (a directory,
// a block device, a socket, a missing folder, a loop of links).
OutputTarget resolveOutput(const std::filesystem::path& path);

// resolveOutput and the rule above for an output of `kind`.
OutputTarget checkOutput(const std::filesystem::path& path, OutputKind kind, const std::vector<InputFile>& inputs,
                         bool force);

// Refuses when `bytes` would not fit in the free space of the target's file system.
void checkFreeSpace(const OutputTarget& target, std::uintmax_t bytes);

// A regular output in the making: a new file beside the target, renamed over it
// by commit() (which keeps the permissions of a file it replaces); removed when
// destroyed uncommitted.
class ReplacementFile {
public:
    explicit ReplacementFile(const OutputTarget& target);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    int fd() const { return mFd; }
    void commit();

private:
    OutputTarget mTarget;
    std::filesystem::path mTemporary;
    int mFd = -1;
};

// Opens standard output, a FIFO or a character device for writing in place (a FIFO
// waits for its reader). The caller closes the descriptor unless it is standard output.
int openInPlace(const OutputTarget& target);

// Writes all of `size` bytes (pipes take them in parts); false with errno on failure.
bool writeAll(int fd, const void* data, std::size_t size);

// `bytes` to the output at `path` under the rule above (used by state save).
void writeFileAtomically(const std::filesystem::path& path, const std::string& bytes);

// `bytes` as a new file STEM.EXT in `folder` (made when missing), or STEM-2.EXT,
// STEM-3.EXT ... when the name is taken: never over an existing file, and whole
// or not at all. Returns the path written; throws std::runtime_error.
std::filesystem::path writeNewFile(const std::filesystem::path& folder, const std::string& stem,
                                   const std::string& extension, const std::string& bytes);

// "12.3 GB", for messages.
std::string describeBytes(double bytes);
