// Test-only, preloaded into the Linux program: a clock that stands still at
// FROZEN_CLOCK seconds since 1970 (any signed value), so that the end-to-end
// tests see whole headers at chosen moments.
#include <cstdlib>
#include <ctime>

static time_t frozen_seconds()
{
    const char *value = std::getenv("FROZEN_CLOCK");
    return value != nullptr
               ? static_cast<time_t>(std::strtoll(value, nullptr, 10))
               : 0;
}

extern "C" time_t time(time_t *result)
{
    time_t now = frozen_seconds();
    if (result != nullptr)
        *result = now;
    return now;
}
