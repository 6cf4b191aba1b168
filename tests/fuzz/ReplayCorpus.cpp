// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a fuzz target over every input of its corpus (the seeds, and each input that once broke
// it), so that builds without a fuzzer still check what the fuzzer found. Any broken property
// aborts; the exit status says whether every input passed.
#include "FuzzCheck.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

int main()
{
    std::vector<std::filesystem::path> inputs;
    for (const auto &entry : std::filesystem::directory_iterator(NIMBAL_FUZZ_CORPUS)) {
        if (entry.is_regular_file())
            inputs.push_back(entry.path());
    }
    for (const auto &path : inputs) {
        std::ifstream file(path, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
    }
    std::printf("%zu inputs of %s read, every property held\n", inputs.size(), NIMBAL_FUZZ_CORPUS);
    return inputs.empty() ? 1 : 0;
}
