// What is hard to reach from outside: the switch parser's table and the
// header at chosen moments.
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
