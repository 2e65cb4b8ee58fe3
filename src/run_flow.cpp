// The run: switches, the command-line line, then the copy of stdin.
#include "kronmark.h"

#include <cstring>

int kronmark_main(int argc, char *const *argv)
{
    int rc = parse_switches(argc, argv);
    if (rc != RC_OK)
        return rc;
    if (options.first_text < argc) {
        write_header();
        for (int i = options.first_text; i < argc; i++) {
            platform_out_text(argv[i]);
            out_bytes(" ", 1);
        }
        if (options.no_newline == 0)
            out_bytes("\n", 1);
    }
    if (options.read_stdin != 0)
        stamp_stdin();
    out_flush();
    return RC_OK;
}

// A header follows every newline: it carries the time its line began,
// which is when the line before it ended.
static void stamp_block(const char *bytes, size_t count, int64_t seconds)
{
    size_t header_length;
    const char *header = header_text(seconds, &header_length);
    while (count > 0) {
        const char *newline =
            static_cast<const char *>(std::memchr(bytes, '\n', count));
        if (newline == nullptr) {
            out_bytes(bytes, count);
            return;
        }
        size_t line = static_cast<size_t>(newline - bytes) + 1;
        out_bytes(bytes, line);
        out_bytes(header, header_length);
        bytes += line;
        count -= line;
    }
}

void stamp_stdin()
{
    static char block[INPUT_BLOCK_SIZE];
    bool widened = false;
    // With -s the open command-line line is the head of the first line.
    if (options.no_newline == 0)
        write_header();
    for (;;) {
        size_t count = read_input(block, sizeof block);
        if (count == 0)
            return;
        // Wider pipes only for bulk: a stream that comes a line at a time
        // keeps its pipes, which count against the user's pipe budget.
        if (!widened && count >= BULK_READ_SIZE) {
            platform_widen_pipes();
            widened = true;
        }
        // Every newline of one block was read at the same moment.
        stamp_block(block, count, platform_clock());
    }
}
