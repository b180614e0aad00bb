#pragma once
// Writes a new file beside its final name and puts it in place only when whole: a temporary file in
// the target's folder, flushed to the device, then renamed over the name. A failure or an abandoned
// write leaves nothing behind. (Kept small and apart so that a shared safe writer can replace it.)

#include <string>

namespace nura {

class AtomicOutputFile {
public:
    AtomicOutputFile() = default;
    ~AtomicOutputFile(); // removes the temporary file unless committed
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    // Creates the temporary file beside `target`. False with errno set when the folder cannot take it.
    bool open(const std::string& target);
    int fd() const { return m_fd; }
    const std::string& temporaryPath() const { return m_temp; }
    // Flushes the data to the device and renames it to the target; replaces an existing target only
    // when `replace`. False with errno set (EEXIST for an existing target).
    bool commit(bool replace);
    void discard();

private:
    std::string m_target;
    std::string m_temp;
    int m_fd = -1;
};

} // namespace nura
