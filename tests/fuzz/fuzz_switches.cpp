// The switch parser on argument vectors cut from the fuzzer's bytes at NUL.
#include "kronmark.h"
#include "scripted_platform.h"

#include <cstdlib>
#include <string>
#include <vector>

static void expect(bool ok)
{
    if (!ok)
        std::abort();
}

static bool is_switch(const std::string &arg)
{
    return arg.size() >= 2 && arg[0] == '-' && (arg[1] == 'i' || arg[1] == 's');
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> args{"kronmark"};
    std::string arg;
    for (size_t i = 0; i < size && args.size() < 64; i++) {
        if (data[i] == 0) {
            args.push_back(arg);
            arg.clear();
        } else {
            arg += static_cast<char>(data[i]);
        }
    }
    if (size > 0 && args.size() < 64)
        args.push_back(arg);
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    int argc = static_cast<int>(args.size());

    script = scripted_run();
    options = {-7, 0x12, 0x34}; // must be reset
    int rc = parse_switches(argc, argv.data());

    // How far the leading -i and -s switches reach, and what stops them.
    int stop = 1;
    bool saw_i = false, saw_s = false;
    while (stop < argc && is_switch(args[stop])) {
        saw_i |= args[stop][1] == 'i';
        saw_s |= args[stop][1] == 's';
        stop++;
    }
    const std::string *stopper = stop < argc ? &args[stop] : nullptr;
    bool is_text = stopper == nullptr || (*stopper)[0] != '-' ||
                   (stopper->size() >= 2 && (*stopper)[1] == '-');

    expect(options.read_stdin == (saw_i ? 0xFF : 0));
    expect(options.no_newline == (saw_s ? 0xFF : 0));
    if (is_text) {
        expect(rc == RC_OK);
        expect(options.first_text == stop);
        expect(script.err.empty());
    } else if (stopper->size() >= 2 && (*stopper)[1] == '?') {
        expect(rc == RC_HELP_SHOWN);
        expect(script.err.rfind("\nKronmark\n", 0) == 0);
    } else {
        expect(rc == RC_UNKNOWN_SWITCH);
        expect(script.err.rfind("\nERROR: " + *stopper +
                                    " is an unknown command line switch\n\n"
                                    "\nKronmark\n",
                                0) == 0);
    }
    return 0;
}
