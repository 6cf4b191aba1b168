# SPDX-License-Identifier: GPL-3.0-or-later
# Fuzz targets: each reads bytes as the client would and checks properties of what it read. In
# every build each one's corpus (seeds, and the inputs that once broke it) is replayed as a unit
# test; with NIMBAL_FUZZ (./run fuzz, clang) each is also a libFuzzer program, fuzz_<name>.
foreach(name event_stream json_answers item_identifier domain_summary)
    nimbal_add_test(fuzz_${name}_corpus SOURCES fuzz/fuzz_${name}.cpp fuzz/ReplayCorpus.cpp
                    LABELS unit)
    target_compile_definitions(fuzz_${name}_corpus PRIVATE
        NIMBAL_FUZZ_CORPUS="${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/${name}")
    if(NIMBAL_FUZZ_ENABLED)
        add_executable(fuzz_${name} fuzz/fuzz_${name}.cpp)
        target_link_libraries(fuzz_${name} PRIVATE OrvelanNimbalCore)
        target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
        add_dependencies(fuzz_targets fuzz_${name})
    endif()
endforeach()
