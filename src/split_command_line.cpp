// The Windows command line, split into arguments by the rules the help
// screen's notes describe. Plain code rather than the C runtime's splitter:
// the msvcrt.dll that Windows ships still ends a quoted stretch at "".
#include "kronmark.h"

// Where the arguments go; nothing is written past the capacities, and one
// place is always kept for an argument's terminating NUL.
struct argument_sink {
    char16_t *text;
    size_t capacity;
    size_t length;
    char16_t **args;
    int max_args;
    int count;
};

static bool start_argument(argument_sink *sink)
{
    if (sink->count >= sink->max_args || sink->length >= sink->capacity)
        return false;
    sink->args[sink->count++] = sink->text + sink->length;
    return true;
}

static void add(argument_sink *sink, char16_t c)
{
    if (sink->length + 1 < sink->capacity)
        sink->text[sink->length++] = c;
}

static void end_argument(argument_sink *sink)
{
    sink->text[sink->length++] = u'\0';
}

static bool is_blank(char16_t c) { return c == u' ' || c == u'\t'; }

// The program name: quotes group and are removed, nothing else is special.
static const char16_t *split_program_name(const char16_t *p,
                                          argument_sink *sink)
{
    bool quoted = false;
    for (; *p != u'\0' && (quoted || !is_blank(*p)); p++) {
        if (*p == u'"')
            quoted = !quoted;
        else
            add(sink, *p);
    }
    end_argument(sink);
    return p;
}

// One argument; returns where the next one may start.
static const char16_t *split_argument(const char16_t *p, argument_sink *sink)
{
    bool quoted = false;
    for (;;) {
        size_t backslashes = 0;
        for (; *p == u'\\'; p++)
            backslashes++;
        bool literal = true;
        if (*p == u'"') {
            if (backslashes % 2 == 1) {
                // 2n+1 backslashes: n of them and a literal quote.
            } else if (quoted && p[1] == u'"') {
                p++; // "" inside quotes: one quote, still quoted
            } else {
                literal = false;
                quoted = !quoted;
            }
            backslashes /= 2;
        }
        for (; backslashes > 0; backslashes--)
            add(sink, u'\\');
        if (*p == u'\0' || (!quoted && is_blank(*p)))
            break;
        if (literal)
            add(sink, *p);
        p++;
    }
    end_argument(sink);
    return p;
}

// The text is written through the sink, which tidy's check does not follow.
// NOLINTNEXTLINE(readability-non-const-parameter)
int split_command_line(const char16_t *line, char16_t *text,
                       size_t text_capacity, char16_t **args, int max_args)
{
    argument_sink sink = {text, text_capacity, 0, args, max_args, 0};
    if (!start_argument(&sink))
        return 0;
    const char16_t *p = split_program_name(line, &sink);
    for (;;) {
        while (is_blank(*p))
            p++;
        if (*p == u'\0' || !start_argument(&sink))
            return sink.count;
        p = split_argument(p, &sink);
    }
}
