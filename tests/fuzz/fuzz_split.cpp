// The Windows command-line splitter. Any argument vector, quoted by the
// standard Windows quoting algorithm and split again, gives the same
// vector; and any line, split into buffers of any size, stays in them.
//
// Input layout: UTF-16 units, two bytes each, little-endian; a zero unit
// ends an argument. An odd byte at the end asks for quotes inside quotes
// written as "" instead of \".
#include "kronmark.h"

#include <cstdlib>
#include <string>
#include <vector>

static void expect(bool ok)
{
    if (!ok)
        std::abort();
}

// Quotes one argument so that the Windows rules give it back unchanged.
static void append_quoted(std::u16string *line, const std::u16string &arg,
                          bool doubled_quotes)
{
    if (!arg.empty() &&
        arg.find_first_of(u" \t\n\v\"") == std::u16string::npos) {
        *line += arg;
        return;
    }
    *line += u'"';
    size_t backslashes = 0;
    for (char16_t c : arg) {
        if (c == u'\\') {
            backslashes++;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped
        // or, inside the quoted stretch, doubled.
        if (c == u'"') {
            line->append(2 * backslashes + (doubled_quotes ? 0 : 1), u'\\');
            *line += doubled_quotes ? u"\"\"" : u"\"";
        } else {
            line->append(backslashes, u'\\');
            *line += c;
        }
        backslashes = 0;
    }
    line->append(2 * backslashes, u'\\'); // before the closing quote
    *line += u'"';
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::u16string> args{u"C:\\Program Files\\Kronmark.exe"};
    std::u16string raw;
    args.emplace_back();
    for (size_t i = 0; i + 1 < size && args.size() < 64; i += 2) {
        char16_t unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
        raw += unit == 0 ? u' ' : unit;
        if (unit == 0)
            args.emplace_back();
        else
            args.back() += unit;
    }

    std::u16string line = u"\"" + args[0] + u"\"";
    for (size_t i = 1; i < args.size(); i++) {
        line += u' ';
        append_quoted(&line, args[i], size % 2 == 1);
    }
    std::vector<char16_t> text(2 * line.size() + 2);
    std::vector<char16_t *> split(args.size() + 1);
    int count =
        split_command_line(line.c_str(), text.data(), text.size(), split.data(),
                           static_cast<int>(split.size()));
    expect(count == static_cast<int>(args.size()));
    for (int i = 0; i < count; i++)
        expect(args[i] == split[i]);

    // The raw units as a line, into buffers cut to a size the input picks.
    size_t capacity = size > 0 ? 1 + data[0] % 64 : 1;
    std::vector<char16_t> small(capacity);
    std::vector<char16_t *> few(1 + (size > 1 ? data[1] % 8 : 0));
    count = split_command_line(raw.c_str(), small.data(), small.size(),
                               few.data(), static_cast<int>(few.size()));
    expect(count >= 0 && count <= static_cast<int>(few.size()));
    for (int i = 0; i < count; i++)
        expect(few[i] >= small.data() && few[i] < small.data() + capacity);
    return 0;
}
