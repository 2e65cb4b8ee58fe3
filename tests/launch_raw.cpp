// Test-only: starts a program with a raw command line read from a file in
// UTF-8, passed to CreateProcessW as it is, so that the tests see exactly
// the characters a user typed; exits with the exit code the caller of
// CreateProcess sees.
// usage: launch_raw PROGRAM.exe COMMAND-LINE-FILE
#include <stdio.h>
#include <windows.h>

int main(int argc, char **argv)
{
    static char line[3 * 32768];
    static wchar_t wide_line[32768];
    static wchar_t program[MAX_PATH];
    if (argc != 3)
        return 100;
    FILE *file = fopen(argv[2], "rb");
    if (file == nullptr)
        return 101;
    size_t length = fread(line, 1, sizeof line - 1, file);
    fclose(file);
    line[length] = '\0';
    if (MultiByteToWideChar(CP_UTF8, 0, line, -1, wide_line, 32768) == 0 ||
        MultiByteToWideChar(CP_ACP, 0, argv[1], -1, program, MAX_PATH) == 0)
        return 103;

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(program, wide_line, nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &process))
        return 102;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 104;
    GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
}
