// Standard output collects in one fixed buffer and goes out just before the
// program would block on input, when the buffer is full, and at exit: a
// fast producer gets large writes, a slow one every line as it was read.
#include "kronmark.h"

#include <cerrno>
#include <cstring>

static char out_buffer[OUTPUT_BUFFER_SIZE];
static size_t out_length;

// Writes every byte through short writes and interruptions; returns 0, or
// the reason the descriptor took no more.
static int write_all(int fd, const char *bytes, size_t count)
{
    while (count > 0) {
        long written = platform_write(fd, bytes, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : EIO;
        bytes += written;
        count -= static_cast<size_t>(written);
    }
    return 0;
}

void out_flush()
{
    size_t count = out_length;
    out_length = 0;
    int error = write_all(STDOUT_FD, out_buffer, count);
    if (error != 0)
        fail_io("write standard output", error);
}

// The buffer fills to the brim before it goes out, so a command-line line
// that fits in it leaves in a single write.
void out_bytes(const char *bytes, size_t count)
{
    while (count > OUTPUT_BUFFER_SIZE - out_length) {
        size_t room = OUTPUT_BUFFER_SIZE - out_length;
        std::memcpy(out_buffer + out_length, bytes, room);
        out_length = OUTPUT_BUFFER_SIZE;
        out_flush();
        bytes += room;
        count -= room;
    }
    std::memcpy(out_buffer + out_length, bytes, count);
    out_length += count;
}

size_t read_input(char *buffer, size_t capacity)
{
    out_flush();
    for (;;) {
        long count = platform_read(STDIN_FD, buffer, capacity);
        if (count >= 0)
            return static_cast<size_t>(count);
        if (errno != EINTR)
            fail_io("read standard input", errno);
    }
}

// Standard error is unbuffered; a failure there has nowhere to be told.
void err_bytes(const char *bytes, size_t count)
{
    write_all(STDERR_FD, bytes, count);
}

void err_text(const char *text) { err_bytes(text, std::strlen(text)); }

// Scripts rely on the exit status: lost output is never a success. The
// reason is taken before anything is written, which could overwrite it.
void fail_io(const char *what, int error)
{
    const char *reason = platform_error_text(error);
    err_text("\nERROR: cannot ");
    err_text(what);
    err_text(": ");
    platform_err_text(reason);
    err_text("\n");
    platform_exit(RC_IO_FAILED);
}
