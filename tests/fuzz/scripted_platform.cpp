#include "scripted_platform.h"

#include "kronmark.h"

#include <cerrno>
#include <cstring>

scripted_run script;

static uint32_t next_random()
{
    script.random = script.random * 1103515245u + 12345u;
    return script.random >> 8;
}

long platform_read(int fd, void *buffer, size_t count)
{
    if (fd != STDIN_FD || count == 0)
        return errno = EBADF, -1;
    if (next_random() % 8 == 0)
        return errno = EINTR, -1;
    if (script.input_read >= script.read_error_at)
        return errno = EIO, -1;
    size_t end = script.read_error_at < script.input_size ? script.read_error_at
                                                          : script.input_size;
    size_t n = end - script.input_read;
    size_t cut = 1 + next_random() % 64;
    if (n > cut)
        n = cut;
    if (n > count)
        n = count;
    std::memcpy(buffer, script.input + script.input_read, n);
    script.input_read += n;
    return static_cast<long>(n);
}

long platform_write(int fd, const void *bytes, size_t count)
{
    const char *text = static_cast<const char *>(bytes);
    if (fd == STDERR_FD) {
        script.err.append(text, count);
        return static_cast<long>(count);
    }
    if (fd != STDOUT_FD)
        return errno = EBADF, -1;
    if (next_random() % 8 == 0)
        return errno = EINTR, -1;
    if (script.out.size() >= script.write_limit)
        return errno = ENOSPC, -1;
    // Short writes, as pipes and signals give them.
    size_t n = count;
    size_t cut = 1 + next_random() % 100;
    if (n > cut)
        n = cut;
    if (n > script.write_limit - script.out.size())
        n = script.write_limit - script.out.size();
    script.out.append(text, n);
    return static_cast<long>(n);
}

int64_t platform_clock() { return SCRIPTED_CLOCK; }

bool platform_local_time(int64_t seconds, std::tm *local)
{
    time_t t = static_cast<time_t>(seconds);
    return gmtime_r(&t, local) != nullptr;
}

const char *platform_error_text(int error) { return std::strerror(error); }

void platform_exit(int code)
{
    script.exit_code = code;
    std::longjmp(script.exit_jump, 1);
}

void platform_widen_pipes() {}

void platform_arguments(int * /*argc*/, char *** /*argv*/) {}

void platform_out_text(const char *text) { out_bytes(text, std::strlen(text)); }

void platform_err_text(const char *text) { err_text(text); }
