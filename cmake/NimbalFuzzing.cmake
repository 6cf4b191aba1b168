# SPDX-License-Identifier: GPL-3.0-or-later
# With NIMBAL_FUZZ, everything is compiled for libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer, so that the fuzz targets (tests/fuzz) see faults in the library as
# they happen. Only clang has libFuzzer; with another compiler the targets are skipped.
set(NIMBAL_FUZZ_ENABLED OFF)
if(NIMBAL_FUZZ)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        set(NIMBAL_FUZZ_ENABLED ON)
        # Coverage is traced only where the targets read (tests/fuzz/coverage.txt): that is
        # what guides the fuzzer, and clang 14 cannot emit the trace tables for some coroutines.
        # Nor can it emit the function-type check's prologue for a coroutine split in parts.
        add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize=function
                            -fsanitize-coverage-allowlist=${CMAKE_SOURCE_DIR}/tests/fuzz/coverage.txt
                            -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
        add_link_options(-fsanitize=address,undefined)
        add_custom_target(fuzz_targets)
    else()
        message(WARNING "NIMBAL_FUZZ needs clang (CXX=clang++); the fuzz targets are skipped")
    endif()
endif()
