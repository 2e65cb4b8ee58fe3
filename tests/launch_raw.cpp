// Test-only: starts a program with a raw command line read from a file, so
// that the tests see the runtime's own splitting, and exits with the exit
// code the caller of CreateProcess sees.
// usage: launch_raw PROGRAM.exe COMMAND-LINE-FILE
#include <stdio.h>
#include <windows.h>

int main(int argc, char **argv)
{
    static char line[32768];
    if (argc != 3)
        return 100;
    FILE *file = fopen(argv[2], "rb");
    if (file == nullptr)
        return 101;
    size_t length = fread(line, 1, sizeof line - 1, file);
    fclose(file);
    line[length] = '\0';

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(argv[1], line, nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &process))
        return 102;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 104;
    GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
}
