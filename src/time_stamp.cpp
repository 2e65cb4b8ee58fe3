// The date-and-time header in front of every stamped line.
#include "kronmark.h"

#include <cstring>

size_t format_header(int64_t seconds, char *buffer)
{
    std::tm local;
    size_t length = 0;
    // Only the range that every platform's runtime converts: outside it the
    // placeholder keeps each header at 31 characters on both platforms.
    // The locale is never changed, so names stay English ("C").
    if (seconds >= 0 && seconds <= LAST_CONVERTIBLE_SECOND &&
        platform_local_time(seconds, &local))
        length =
            std::strftime(buffer, HEADER_BUFFER_SIZE, HEADER_FORMAT, &local);
    if (length == 0) {
        length = sizeof UNKNOWN_TIME_HEADER - 1;
        std::memcpy(buffer, UNKNOWN_TIME_HEADER, length);
    }
    return length;
}

// A stamping run writes many headers within one second: format once per
// second value. The local-time conversion depends on nothing else.
static int64_t cached_seconds;
static size_t cached_length;
static char cached_text[HEADER_BUFFER_SIZE];

const char *header_text(int64_t seconds, size_t *length)
{
    if (cached_length == 0 || seconds != cached_seconds) {
        cached_length = format_header(seconds, cached_text);
        cached_seconds = seconds;
    }
    *length = cached_length;
    return cached_text;
}

void write_header()
{
    size_t length;
    const char *text = header_text(platform_clock(), &length);
    out_bytes(text, length);
}
