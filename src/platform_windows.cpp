// Windows: the command line is split here from its UTF-16 form, consoles
// are written in UTF-16, files and pipes get bytes through the runtime's
// text mode, and failures are named in the system's own words.
#include "kronmark.h"

#include <cerrno>
#include <cstring>
#include <io.h>
#include <stdlib.h>
#include <windows.h>

// The runtime must not expand wildcards: *.log stays *.log.
extern "C" {
int _dowildcard = 0;
}

// A command line holds at most 32,767 UTF-16 units.
constexpr size_t LINE_UNITS = 32768;
// Console writes go in pieces of this many characters.
constexpr size_t CONSOLE_PIECE = 4096;
constexpr int MAX_ARGS = LINE_UNITS / 2 + 1;
static char16_t wide_text[2 * LINE_UNITS + 2];
static char16_t *wide_args[MAX_ARGS];
static char utf8_text[3 * sizeof wide_text / sizeof wide_text[0]];
static char *utf8_args[MAX_ARGS + 1];

// msvcrt.dll would split the ANSI command line, where look-alikes such as
// a fullwidth minus have already become a dash, and by its old quoting
// rules. UTF-8 keeps every character: only a real dash is a dash.
void platform_arguments(int *argc, char ***argv)
{
    const auto *line = reinterpret_cast<const char16_t *>(GetCommandLineW());
    int count = split_command_line(line, wide_text, sizeof wide_text / 2,
                                   wide_args, MAX_ARGS);
    size_t used = 0;
    for (int i = 0; i < count; i++) {
        utf8_args[i] = utf8_text + used;
        int bytes = WideCharToMultiByte(
            CP_UTF8, 0, reinterpret_cast<const wchar_t *>(wide_args[i]), -1,
            utf8_args[i], static_cast<int>(sizeof utf8_text - used), nullptr,
            nullptr);
        if (bytes <= 0) { // cannot happen within the sizes above
            count = i;
            break;
        }
        used += static_cast<size_t>(bytes);
    }
    utf8_args[count] = nullptr;
    *argc = count;
    *argv = utf8_args;
}

// Decided once per stream, as it cannot change during the run.
static bool is_console(int fd)
{
    static int known[3] = {-1, -1, -1};
    if (known[fd] < 0) {
        DWORD mode;
        auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
        known[fd] = GetConsoleMode(handle, &mode) ? 1 : 0;
    }
    return known[fd] == 1;
}

// Writes UTF-16 to a console, each newline as CR LF as text mode would.
static bool write_console(int fd, const wchar_t *text, size_t count)
{
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    wchar_t chunk[CONSOLE_PIECE];
    while (count > 0) {
        size_t length = 0;
        for (; count > 0 && length + 2 <= sizeof chunk / sizeof chunk[0];
             count--) {
            if (*text == L'\n')
                chunk[length++] = L'\r';
            chunk[length++] = *text++;
        }
        const wchar_t *left = chunk;
        while (length > 0) {
            DWORD written = 0;
            if (!WriteConsoleW(handle, left, static_cast<DWORD>(length),
                               &written, nullptr) ||
                written == 0) {
                _doserrno = GetLastError();
                errno = EIO;
                return false;
            }
            left += written;
            length -= written;
        }
    }
    return true;
}

// How many of the bytes make whole characters of the code page; a
// character cut by the end of a write waits for the rest.
static size_t whole_characters(UINT code_page, const char *bytes, size_t count)
{
    if (code_page == CP_UTF8) {
        size_t start = count;
        while (start > 0 && count - start < 3 &&
               (static_cast<unsigned char>(bytes[start - 1]) & 0xC0) == 0x80)
            start--;
        if (start == 0)
            return count;
        auto lead = static_cast<unsigned char>(bytes[start - 1]);
        size_t need = lead >= 0xF0   ? 4
                      : lead >= 0xE0 ? 3
                      : lead >= 0xC0 ? 2
                                     : 1;
        return count - (start - 1) < need ? start - 1 : count;
    }
    size_t i = 0;
    while (i < count) {
        size_t size = IsDBCSLeadByteEx(code_page, bytes[i]) ? 2 : 1;
        if (i + size > count)
            return i;
        i += size;
    }
    return count;
}

// Bytes for a console (headers, the help screen, the copy of standard
// input) are in the console's code page: decode them with it. The code
// page itself is never changed; that would leak into the parent shell.
static long write_console_bytes(int fd, const char *bytes, size_t count)
{
    static char carried[3][4];
    static size_t carried_length[3];
    UINT code_page = GetConsoleOutputCP();
    char piece[CONSOLE_PIECE + sizeof carried[0]];
    wchar_t wide[sizeof piece];
    size_t done = 0;
    while (done < count) {
        size_t length = carried_length[fd];
        std::memcpy(piece, carried[fd], length);
        size_t take =
            count - done < CONSOLE_PIECE ? count - done : CONSOLE_PIECE;
        std::memcpy(piece + length, bytes + done, take);
        length += take;
        done += take;
        size_t whole = whole_characters(code_page, piece, length);
        carried_length[fd] = length - whole;
        std::memcpy(carried[fd], piece + whole, length - whole);
        int units = whole == 0 ? 0
                               : MultiByteToWideChar(code_page, 0, piece,
                                                     static_cast<int>(whole),
                                                     wide, sizeof piece);
        if (!write_console(fd, wide, static_cast<size_t>(units)))
            return -1;
    }
    return static_cast<long>(count);
}

// _read and _write keep the runtime's text mode: CR LF in arrives as a
// newline, Ctrl-Z ends piped input, a newline out goes as CR LF. The
// system's error code is cleared first, so that a failure's is its own.
long platform_read(int fd, void *buffer, size_t count)
{
    _doserrno = 0;
    return _read(fd, buffer, static_cast<unsigned>(count));
}

long platform_write(int fd, const void *bytes, size_t count)
{
    if (is_console(fd))
        return write_console_bytes(fd, static_cast<const char *>(bytes), count);
    _doserrno = 0;
    return _write(fd, bytes, static_cast<unsigned>(count));
}

// UTF-8 text as typed on a console; elsewhere in the ANSI code page, as the
// runtime gave it before, with "?" for a character the code page lacks
// (never a look-alike, which could change what the text means).
static void write_text(int fd, const char *text)
{
    // An argument or a system message: never longer than a command line.
    static wchar_t wide[LINE_UNITS];
    static char ansi[2 * LINE_UNITS];
    int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, wide,
                                    sizeof wide / sizeof wide[0]);
    if (units <= 1)
        return;
    units--; // the NUL
    if (is_console(fd)) {
        if (fd == STDOUT_FD)
            out_flush(); // what went before shows first
        if (!write_console(fd, wide, static_cast<size_t>(units)) &&
            fd == STDOUT_FD)
            fail_io("write standard output", errno);
        return;
    }
    int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, units,
                                    ansi, sizeof ansi, "?", nullptr);
    if (bytes <= 0) // a code page without that flag: plain conversion
        bytes = WideCharToMultiByte(CP_ACP, 0, wide, units, ansi, sizeof ansi,
                                    "?", nullptr);
    if (fd == STDOUT_FD)
        out_bytes(ansi, static_cast<size_t>(bytes > 0 ? bytes : 0));
    else
        err_bytes(ansi, static_cast<size_t>(bytes > 0 ? bytes : 0));
}

void platform_out_text(const char *text) { write_text(STDOUT_FD, text); }

void platform_err_text(const char *text) { write_text(STDERR_FD, text); }

int64_t platform_clock() { return _time64(nullptr); }

bool platform_local_time(int64_t seconds, std::tm *local)
{
    __time64_t t = seconds;
    return _localtime64_s(local, &t) == 0;
}

// The runtime keeps the system's error behind a failed call in _doserrno;
// its errno ("Invalid argument" for a reader that went away) says less.
const char *platform_error_text(int error)
{
    static wchar_t wide[512];
    static char text[3 * sizeof wide / sizeof wide[0]];
    DWORD code = _doserrno;
    DWORD length = 0;
    if (code != 0)
        length = FormatMessageW(
            FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
            code, 0, wide, sizeof wide / sizeof wide[0], nullptr);
    while (length > 0 &&
           (wide[length - 1] == L'\n' || wide[length - 1] == L'\r' ||
            wide[length - 1] == L' '))
        length--;
    if (length == 0)
        return std::strerror(error);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length),
                                    text, sizeof text - 1, nullptr, nullptr);
    text[bytes > 0 ? bytes : 0] = '\0';
    return text;
}

[[noreturn]] void platform_exit(int code) { _exit(code); }

void platform_widen_pipes() {}
