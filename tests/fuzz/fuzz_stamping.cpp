// Differential: stdin cut into reads of random sizes, with short writes,
// interrupted calls and failures, must give what a plain model gives.
//
// Input layout: one byte of flags (bit 0: -s, bit 1: a read fails, bit 2:
// writes fail, bit 3: command-line text), four bytes that seed the cuts and
// say where the failure falls; with bit 3 a length byte and that many bytes
// of text, cut into arguments at NUL; then the bytes of standard input.
#include "kronmark.h"
#include "scripted_platform.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

static const std::string HEADER = "Mon Nov 03, 2008 10:46:32 PM | ";

// The command-line line behind one header, its words each followed by a
// blank and, unless -s, a newline; then a header before the first input line
// unless -s, the bytes unchanged, a header after every newline.
static std::string model(const std::vector<std::string> &words,
                         const uint8_t *bytes, size_t count, bool no_newline)
{
    std::string out;
    if (!words.empty()) {
        out += HEADER;
        for (const std::string &word : words)
            out += word + " ";
        if (!no_newline)
            out += "\n";
    }
    if (!no_newline)
        out += HEADER;
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
    // The text starts with a word that is no switch, so all of it is echoed.
    std::vector<std::string> words;
    if (flags & 8 && size > 0) {
        size_t length = data[0] < size - 1 ? data[0] : size - 1;
        words.emplace_back("T");
        words.emplace_back();
        for (size_t i = 1; i <= length; i++) {
            if (data[i] == 0)
                words.emplace_back();
            else
                words.back() += static_cast<char>(data[i]);
        }
        data += length + 1;
        size -= length + 1;
    }
    std::vector<char *> argv{const_cast<char *>("kronmark"),
                             const_cast<char *>("-i")};
    if (no_newline)
        argv.push_back(const_cast<char *>("-s"));
    for (std::string &word : words)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);

    std::string whole = model(words, data, size, no_newline);
    script = scripted_run();
    script.input = data;
    script.input_size = size;
    script.random = seed;
    if (flags & 2)
        script.read_error_at = seed % (size + 1);
    else if (flags & 4)
        script.write_limit = seed % (whole.size() + 1);

    if (setjmp(script.exit_jump) == 0)
        script.exit_code =
            kronmark_main(static_cast<int>(argv.size() - 1), argv.data());

    if (flags & 2) {
        // Everything read before the failure is out, then one message.
        size_t read = script.read_error_at;
        expect(script.exit_code == RC_IO_FAILED);
        expect(script.out == model(words, data, read, no_newline));
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
