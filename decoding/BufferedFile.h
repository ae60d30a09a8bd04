#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace pictrove {

// A read-only file with stdio's reading rules (fread, fgetc, fseek, ftell)
// and a position kept here, so that a reader which seeks, asks for the end
// or reads a byte at a time costs no system call until it leaves the
// buffer. The libraries' own stdio routes turned a damaged file's every row
// into several seeks and reads: a small picture took longer than the
// decoder's time limit on a busy machine.
class BufferedFile {
public:
    static std::unique_ptr<BufferedFile> open(const char *path);
    ~BufferedFile();
    BufferedFile(const BufferedFile &) = delete;
    BufferedFile &operator=(const BufferedFile &) = delete;

    // fread: the whole items read; the position moves past every byte read.
    std::size_t read(void *out, std::size_t size, std::size_t count);
    // fgetc: the byte, or -1 at the end.
    int getc();
    // fseek: 0, or -1 for a position before the start (which is kept).
    int seek(std::int64_t offset, int whence);
    std::int64_t tell() const { return m_position; }
    // The size the file had when opened.
    std::int64_t size() const { return m_size; }
    bool atEnd() const { return m_position >= m_size; }

private:
    BufferedFile(int fd, std::int64_t size);
    bool fill();

    int m_fd;
    std::int64_t m_size;
    std::int64_t m_position = 0;
    std::vector<unsigned char> m_buffer;
    std::int64_t m_bufferStart = 0;
    std::size_t m_bufferBytes = 0;
};

} // namespace pictrove
