// What is hard to reach from outside: the switch parser's table, the
// Windows command-line splitter's table and the header at chosen moments.
#include "kronmark.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

struct parse_case {
    std::vector<std::string> args; // without the program name
    int rc;
    int32_t first_text;
    bool read_stdin;
    bool no_newline;
};

int parse(const std::vector<std::string> &args)
{
    std::vector<char *> argv{const_cast<char *>("kronmark")};
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    // The help screen and the message are checked end to end; keep them
    // out of the test log.
    int saved = dup(STDERR_FD);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDERR_FD);
    int rc = parse_switches(static_cast<int>(argv.size() - 1), argv.data());
    dup2(saved, STDERR_FD);
    close(null);
    close(saved);
    return rc;
}

TEST(ParseSwitches, Table)
{
    const parse_case cases[] = {
        {{}, 0, 1, false, false},
        {{"A", "logging", "message"}, 0, 1, false, false},
        {{"-i"}, 0, 2, true, false},
        {{"-s"}, 0, 2, false, true},
        {{"-s", "-i", "space"}, 0, 3, true, true},
        {{"-i", "-s"}, 0, 3, true, true},
        {{"-s", "-s", "-i", "x"}, 0, 4, true, true},
        {{"-si"}, 0, 2, false, true}, // the i is never looked at
        {{"-sx"}, 0, 2, false, true},
        {{"-i5", "t"}, 0, 2, true, false},
        {{"--", "-i"}, 0, 1, false, false},
        {{"-i", "---- sep"}, 0, 2, true, false},
        {{"note", "-i"}, 0, 1, false, false},
        {{""}, 0, 1, false, false},
        {{"-s", "", "x"}, 0, 2, false, true},
        {{"-?"}, 2, 1, false, false},
        {{"-i", "-?", "text"}, 2, 2, true, false},
        {{"-?", "-x"}, 2, 1, false, false},
        {{"-x", "-?"}, 1, 1, false, false},
        {{"-"}, 1, 1, false, false},
        {{"-S"}, 1, 1, false, false},
        {{"-I"}, 1, 1, false, false},
        {{"-s", "-q", "text"}, 1, 2, false, true},
    };
    for (const parse_case &c : cases) {
        std::string shown;
        for (const std::string &arg : c.args)
            shown += "[" + arg + "]";
        SCOPED_TRACE(shown);
        EXPECT_EQ(parse(c.args), c.rc);
        EXPECT_EQ(options.first_text, c.first_text);
        EXPECT_EQ(options.read_stdin != 0, c.read_stdin);
        EXPECT_EQ(options.no_newline != 0, c.no_newline);
    }
}

TEST(ParseSwitches, ResetsOptionsEveryRun)
{
    parse({"-s", "-i"});
    parse({"text"});
    EXPECT_EQ(options.read_stdin, 0);
    EXPECT_EQ(options.no_newline, 0);
    EXPECT_EQ(options.first_text, 1);
}

std::vector<std::u16string> split(const std::u16string &line)
{
    static char16_t text[4096];
    static char16_t *args[256];
    int count =
        split_command_line(line.c_str(), text, 2 * line.size() + 2, args, 256);
    return std::vector<std::u16string>(args, args + count);
}

std::string shown(const std::vector<std::u16string> &args)
{
    std::string out;
    for (const std::u16string &arg : args) {
        out += "[";
        for (char16_t c : arg)
            out += c < 0x80 ? std::string(1, static_cast<char>(c))
                            : "U+" + std::to_string(c);
        out += "]";
    }
    return out;
}

TEST(SplitCommandLine, Table)
{
    const struct {
        std::u16string line;
        std::vector<std::u16string> args; // program name included
    } cases[] = {
        {u"k", {u"k"}},
        {u"k ", {u"k"}},
        // The help screen's notes.
        {uR"(k \ \\ \\\ \" \\" \\\")",
         {u"k", uR"(\)", uR"(\\)", uR"(\\\)", u"\"", uR"(\ \")"}},
        {u"k abc   cd  ef", {u"k", u"abc", u"cd", u"ef"}},
        {uR"(k "abc   cd  ef")", {u"k", u"abc   cd  ef"}},
        {uR"(k "")", {u"k", u""}},
        {uR"(k a "" b)", {u"k", u"a", u"", u"b"}},
        {uR"(k """")", {u"k", u"\""}},
        // "" inside quotes: one quote, and the stretch stays quoted.
        {uR"(k "a ""b"" c" d)", {u"k", uR"(a "b" c)", u"d"}},
        {uR"(k "a""b" c)", {u"k", uR"(a"b)", u"c"}},
        // 2n backslashes: n and a quote that groups; 2n+1: n and a quote.
        {uR"(k a\\"b c" d)", {u"k", uR"(a\b c)", u"d"}},
        {uR"(k a\\\"b c)", {u"k", uR"(a\"b)", u"c"}},
        {uR"(k a\\\\"b c")", {u"k", uR"(a\\b c)"}},
        {uR"(k a\b\\c\\\ d\)", {u"k", uR"(a\b\\c\\\)", uR"(d\)"}},
        {uR"(k "a\\" b)", {u"k", uR"(a\)", u"b"}},
        // Unterminated quote and trailing backslashes run to the end.
        {uR"(k "open  to the end)", {u"k", u"open  to the end"}},
        {uR"(k "a b\\)", {u"k", uR"(a b\\)"}},
        {uR"(k tail\\)", {u"k", uR"(tail\\)"}},
        // Blanks and tabs separate; nothing else does.
        {u"k\ta\t\tb \t c", {u"k", u"a", u"b", u"c"}},
        {u"k a\nb\vc", {u"k", u"a\nb\vc"}},
        {u"k \"\ta b\"", {u"k", u"\ta b"}},
        // Look-alikes are text: fullwidth minus and quote, ideographic space.
        {u"k \uFF0Di \uFF02a b\uFF02 x\u3000y",
         {u"k", u"\uFF0Di", u"\uFF02a", u"b\uFF02", u"x\u3000y"}},
        {u"k *.log *", {u"k", u"*.log", u"*"}},
        // The program name: quotes group, backslashes are plain.
        {uR"("C:\Program Files\Kronmark.exe" -i x)",
         {uR"(C:\Program Files\Kronmark.exe)", u"-i", u"x"}},
        {uR"(C:\tools\Kronmark.exe "a b")",
         {uR"(C:\tools\Kronmark.exe)", u"a b"}},
        {uR"("C:\a b\k"x.exe y)", {uR"(C:\a b\kx.exe)", u"y"}},
        {uR"(k\" a)", {uR"(k\ a)"}},
        {uR"("k)", {u"k"}},
        {u"", {u""}},
        {u"  a", {u"", u"a"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(shown({c.line}));
        EXPECT_EQ(shown(split(c.line)), shown(c.args));
    }
}

// Capacities too small for the line cut the arguments, never the memory.
TEST(SplitCommandLine, StaysWithinItsBuffers)
{
    const std::u16string line = u"kronmark.exe first \"second word\" third";
    char16_t text[64];
    char16_t *args[4];
    for (size_t capacity = 1; capacity <= 24; capacity++) {
        for (char16_t &c : text)
            c = u'#';
        int count = split_command_line(line.c_str(), text, capacity, args, 3);
        EXPECT_LE(count, 3);
        for (size_t i = capacity; i < 64; i++)
            ASSERT_EQ(text[i], u'#') << capacity;
        for (int i = 0; i < count; i++)
            EXPECT_LT(static_cast<size_t>(args[i] - text), capacity);
        EXPECT_EQ(text[capacity - 1] == u'#', false) << capacity;
    }
    EXPECT_EQ(split_command_line(line.c_str(), text, 64, args, 0), 0);
}

void use_zone(const char *tz)
{
    setenv("TZ", tz, 1);
    tzset();
}

std::string header_at(int64_t seconds)
{
    char buffer[HEADER_BUFFER_SIZE];
    size_t length = format_header(seconds, buffer);
    return std::string(buffer, length);
}

TEST(Header, AtChosenMoments)
{
    use_zone("UTC0");
    const struct {
        int64_t seconds;
        const char *header;
    } cases[] = {
        {1225752392, "Mon Nov 03, 2008 10:46:32 PM | "},
        {1225670405, "Mon Nov 03, 2008 12:00:05 AM | "}, // after midnight
        {1225713605, "Mon Nov 03, 2008 12:00:05 PM | "}, // after noon
        {1236229629, "Thu Mar 05, 2009 05:07:09 AM | "},
        {2214172799, "Wed Feb 29, 2040 11:59:59 PM | "}, // past 2038
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(header_at(c.seconds), c.header);
        EXPECT_EQ(header_at(c.seconds).size(), 31u);
    }
}

TEST(Header, FollowsDaylightSavingPerMoment)
{
    use_zone("EST5EDT,M3.2.0,M11.1.0");
    EXPECT_EQ(header_at(1772953199), "Sun Mar 08, 2026 01:59:59 AM | ");
    EXPECT_EQ(header_at(1772953200), "Sun Mar 08, 2026 03:00:00 AM | ");
    EXPECT_EQ(header_at(1793512799), "Sun Nov 01, 2026 01:59:59 AM | ");
    EXPECT_EQ(header_at(1793512800), "Sun Nov 01, 2026 01:00:00 AM | ");
}

// The clock is converted from 1970 to 3001-01-01 07:59:59 UTC, the range of
// the Windows runtime; outside it, on every platform, the placeholder keeps
// the width. Zones far east and west put the ends into other days.
TEST(Header, RangeEndsAndBeyond)
{
    const struct {
        const char *zone;
        int64_t seconds;
        const char *header;
    } cases[] = {
        {"UTC0", 0, "Thu Jan 01, 1970 12:00:00 AM | "},
        {"UTC0", LAST_CONVERTIBLE_SECOND, "Thu Jan 01, 3001 07:59:59 AM | "},
        {"XYZ+12", 0, "Wed Dec 31, 1969 12:00:00 PM | "},
        {"XYZ-14", LAST_CONVERTIBLE_SECOND, "Thu Jan 01, 3001 09:59:59 PM | "},
        {"UTC0", -1, UNKNOWN_TIME_HEADER},
        {"UTC0", INT64_MIN, UNKNOWN_TIME_HEADER},
        {"UTC0", LAST_CONVERTIBLE_SECOND + 1, UNKNOWN_TIME_HEADER},
        {"XYZ+12", LAST_CONVERTIBLE_SECOND + 1, UNKNOWN_TIME_HEADER},
        {"UTC0", 253402300800, UNKNOWN_TIME_HEADER}, // year 10000
        {"UTC0", INT64_MAX, UNKNOWN_TIME_HEADER},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + std::to_string(c.seconds));
        use_zone(c.zone);
        EXPECT_EQ(header_at(c.seconds), c.header);
        EXPECT_EQ(header_at(c.seconds).size(), 31u);
    }
}

// The per-second cache must give what a fresh formatting gives, whichever
// order the moments come in.
TEST(Header, CachedTextMatchesFreshFormatting)
{
    use_zone("EST5EDT,M3.2.0,M11.1.0");
    const int64_t moments[] = {1772953199, 1772953199, 1772953200, 0,
                               1772953200, INT64_MAX,  1793512800, -1};
    for (int64_t seconds : moments) {
        size_t length;
        const char *text = header_text(seconds, &length);
        EXPECT_EQ(std::string(text, length), header_at(seconds)) << seconds;
    }
}

} // namespace
