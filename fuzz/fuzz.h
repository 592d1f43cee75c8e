// fuzz.h -- what the harnesses share: a check whose failure is a finding (the fuzzer keeps the
// input that broke it), and the input seen as bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// Stops the run with the message: libFuzzer saves the input as a crash.
inline void Fuzz_Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

inline std::string Fuzz_Bytes(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}
