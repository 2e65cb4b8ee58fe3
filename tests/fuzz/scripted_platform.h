// A platform whose input, output, clock and failures a fuzz target scripts.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <string>

struct scripted_run {
    const uint8_t *input = nullptr;
    size_t input_size = 0;
    size_t input_read = 0;
    size_t read_error_at = SIZE_MAX; // input offset where reading fails
    size_t write_limit = SIZE_MAX;   // bytes of stdout before writes fail
    uint32_t random = 1;             // cuts reads and writes, makes EINTR
    std::string out;                 // what reached stdout
    std::string err;                 // what reached stderr
    int exit_code = -1;              // set when the program exits early
    std::jmp_buf exit_jump;
};
extern scripted_run script;

constexpr int64_t SCRIPTED_CLOCK = 1225752392; // 2008-11-03 22:46:32 UTC
