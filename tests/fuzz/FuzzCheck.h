// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What every fuzz target of ours defines: it reads `data` the way the client would and checks
// properties of what it read. A broken property aborts, so the fuzzer keeps the input as a
// finding, exactly as it keeps one that crashes.

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace OrvelanNimbal::Fuzzing {

[[noreturn]] inline void propertyBroken(const char *property, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, property);
    std::abort();
}

inline QByteArray bytesOf(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

} // namespace OrvelanNimbal::Fuzzing

#define NIMBAL_FUZZ_CHECK(property)                                                                \
    do {                                                                                           \
        if (!(property))                                                                           \
            OrvelanNimbal::Fuzzing::propertyBroken(#property, __FILE__, __LINE__);                 \
    } while (false)
