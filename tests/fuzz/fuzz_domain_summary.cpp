// SPDX-License-Identifier: GPL-3.0-or-later
// The domain summary file from any bytes: a file that reads as a summary is written back as a
// file that reads as the same summary, and writing that again gives the same bytes.
#include "FuzzCheck.h"
#include "errors/DriveError.h"
#include "sync/DomainSummary.h"

using namespace OrvelanNimbal;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::optional<DomainSummary> summary;
    try {
        summary = DomainSummary::fromJson(Fuzzing::bytesOf(data, size));
    } catch (const DriveError &) {
        return 0; // not a summary: the application shows an empty report
    }
    const QByteArray written = summary->toJson();
    std::optional<DomainSummary> reread;
    try {
        reread = DomainSummary::fromJson(written);
    } catch (const DriveError &) {
        NIMBAL_FUZZ_CHECK(!"a summary we wrote reads back");
    }
    NIMBAL_FUZZ_CHECK(*reread == *summary);
    NIMBAL_FUZZ_CHECK(reread->toJson() == written);
    return 0;
}
