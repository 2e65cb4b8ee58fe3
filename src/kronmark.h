// Kronmark: puts a local date-and-time header in front of lines of text.
// What the program's units share: the run options, the return codes and
// the operations that one unit offers to the others.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

// Filled by parse_switches, read by the run flow. Flags are 0 when off and
// FLAG_SET when on; readers test for non-zero.
constexpr uint8_t FLAG_SET = 0xFF;
struct run_options {
    int32_t first_text; // index of the first argument to echo; argc when none
    uint8_t read_stdin; // -i
    uint8_t no_newline; // -s
};
extern run_options options;

enum return_code : int {
    RC_OK = 0,
    RC_UNKNOWN_SWITCH = 1,
    RC_HELP_SHOWN = 2,
    RC_IO_FAILED = 3, // standard input or output failed; message on stderr
};

// Command line.
int parse_switches(int argc, char *const *argv);
void show_help();

// Date-and-time header.
constexpr char HEADER_FORMAT[] = "%a %b %d, %Y %I:%M:%S %p | ";
constexpr size_t HEADER_BUFFER_SIZE = 128;
// The clock is converted from 1970-01-01 00:00:00 UTC to this second,
// 3001-01-01 07:59:59 UTC, the range the Windows runtime converts.
constexpr int64_t LAST_CONVERTIBLE_SECOND = 32535244799;
// Written when the clock is outside that range or cannot be converted to
// local time; same width.
constexpr char UNKNOWN_TIME_HEADER[] = "??? ??? ??, ???? ??:??:?? ?? | ";
size_t format_header(int64_t seconds, char *buffer);
const char *header_text(int64_t seconds, size_t *length);
void write_header();

// Run flow.
int kronmark_main(int argc, char *const *argv);
void stamp_stdin();

// Output buffer and block I/O. Every byte of standard output goes through
// out_bytes; out_flush is the one path to the descriptor.
constexpr size_t OUTPUT_BUFFER_SIZE = size_t{256} * 1024;
constexpr size_t INPUT_BLOCK_SIZE = size_t{128} * 1024;
// A read that returns this much found a default-sized pipe full, or reads a
// file: the input is bulk, not a line at a time.
constexpr size_t BULK_READ_SIZE = size_t{64} * 1024;
void out_bytes(const char *bytes, size_t count);
void out_flush();
size_t read_input(char *buffer, size_t capacity);
void err_bytes(const char *bytes, size_t count);
void err_text(const char *text);
[[noreturn]] void fail_io(const char *what, int error);

// The Windows command line split by its rules: the program name and the
// arguments, each NUL-terminated in text, args pointing at them. Returns the
// count, program name included; nothing is written past the capacities,
// and a text of twice the line's length plus two cuts nothing.
int split_command_line(const char16_t *line, char16_t *text,
                       size_t text_capacity, char16_t **args, int max_args);

// What differs between platforms.
constexpr int STDIN_FD = 0;
constexpr int STDOUT_FD = 1;
constexpr int STDERR_FD = 2;
// The arguments as the program takes them: on Windows split from the UTF-16
// command line and held as UTF-8, so that no character changes meaning on
// its way in; on Linux the bytes the shell gave.
void platform_arguments(int *argc, char ***argv);
// Text that came from the platform (an argument, a system message) in the
// form the stream takes it: on Linux the bytes as they are; on Windows the
// characters as typed on a console, the ANSI code page elsewhere.
void platform_out_text(const char *text);
void platform_err_text(const char *text);
long platform_read(int fd, void *buffer, size_t count);
long platform_write(int fd, const void *bytes, size_t count);
int64_t platform_clock();
bool platform_local_time(int64_t seconds, std::tm *local);
const char *platform_error_text(int error);
[[noreturn]] void platform_exit(int code);
void platform_widen_pipes();
