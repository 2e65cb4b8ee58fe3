// Differential: stdin cut into reads of random sizes, with short writes,
// interrupted calls and failures, must give what a plain model gives.
//
// Input layout: one byte of flags (bit 0: -s, bit 1: a read fails, bit 2:
// writes fail), four bytes that seed the cuts and say where the failure
// falls, then the bytes of standard input.
#include "kronmark.h"
#include "scripted_platform.h"

#include <cstdlib>
#include <cstring>
#include <string>

static const std::string HEADER = "Mon Nov 03, 2008 10:46:32 PM | ";

// A header before the first line unless -s, the bytes unchanged, a header
// after every newline.
static std::string model(const uint8_t *bytes, size_t count, bool no_newline)
{
    std::string out = no_newline ? "" : HEADER;
    for (size_t i = 0; i < count; i++) {
        out += static_cast<char>(bytes[i]);
        if (bytes[i] == '\n')
            out += HEADER;
    }
    return out;
}

static void expect(bool ok)
{
    if (!ok)
        std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5)
        return 0;
    uint8_t flags = data[0];
    uint32_t seed;
    std::memcpy(&seed, data + 1, sizeof seed);
    data += 5;
    size -= 5;

    bool no_newline = flags & 1;
    std::string whole = model(data, size, no_newline);
    script = scripted_run();
    script.input = data;
    script.input_size = size;
    script.random = seed;
    if (flags & 2)
        script.read_error_at = seed % (size + 1);
    else if (flags & 4)
        script.write_limit = seed % (whole.size() + 1);

    options = {1, 0xFF, static_cast<uint8_t>(no_newline ? 0xFF : 0)};
    if (setjmp(script.exit_jump) == 0) {
        stamp_stdin();
        out_flush();
        script.exit_code = 0;
    }

    if (flags & 2) {
        // Everything read before the failure is out, then one message.
        size_t read = script.read_error_at;
        expect(script.exit_code == RC_IO_FAILED);
        expect(script.out == model(data, read, no_newline));
        expect(script.err ==
               "\nERROR: cannot read standard input: Input/output error\n");
    } else if (script.write_limit < whole.size()) {
        expect(script.exit_code == RC_IO_FAILED);
        expect(script.out == whole.substr(0, script.write_limit));
        expect(script.err == "\nERROR: cannot write standard output: No "
                             "space left on device\n");
    } else {
        expect(script.exit_code == 0);
        expect(script.out == whole);
        expect(script.err.empty());
    }
    return 0;
}
