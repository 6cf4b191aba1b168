// SPDX-License-Identifier: GPL-3.0-or-later
// How fast and how lean a 100,000-file listing becomes DriveFile models, against the usual Qt
// way and against the bare parser underneath.
//
// Times: the best of several runs of each variant, interleaved, on the same bytes in this
// process. Memory: each variant runs once in a child process of its own (this program started
// again with --peak-of), which generates the same bytes, then reports how far its peak resident
// size rose above the resident size it had just before decoding.
#include "json/JsonDecoding.h"
#include "listing/BareSimdjsonListing.h"
#include "listing/ListingGenerator.h"
#include "listing/PeakMemory.h"
#include "listing/QtJsonListing.h"
#include "models/WireConversions.h"
#include "models/WireListings.h"

#include <QCoreApplication>
#include <QProcess>

#include <chrono>
#include <cstdio>
#include <functional>
#include <limits>

using namespace OrvelanNimbal;

namespace {

constexpr int fileCount = 100000;
constexpr int runs = 7;

struct Variant {
    const char *name;
    const char *description;
    std::function<size_t(const QByteArray &)> decode; // returns the number of files read
};

const std::vector<Variant> &variants()
{
    static const std::vector<Variant> all{
        {"library", "(a) filesFromWireListing, the path of DriveAPI::files",
         [](const QByteArray &json) { return filesFromWireListing(json).size(); }},
        {"qtjson", "(b) QJsonDocument, then the same conversion",
         [](const QByteArray &json) { return Bench::filesWithQtJson(json).size(); }},
        {"simdjson", "(c) bare simdjson On-Demand into plain structs",
         [](const QByteArray &json) { return Bench::plainFilesWithSimdjson(json).size(); }},
        {"records", "    Json::decode<std::vector<FileDTO>>, then fileFromWire",
         [](const QByteArray &json) {
             auto records = Json::decode<std::vector<FileDTO>>(json);
             std::vector<DriveFile> files;
             files.reserve(records.size());
             for (FileDTO &record : records)
                 files.push_back(fileFromWire(std::move(record)));
             return files.size();
         }},
    };
    return all;
}

const Variant *findVariant(const char *name)
{
    for (const Variant &variant : variants()) {
        if (std::strcmp(variant.name, name) == 0)
            return &variant;
    }
    return nullptr;
}

// Child process: decode once and print the rise of the peak, in kibibytes.
int printPeakGrowth(const char *name)
{
    const Variant *variant = findVariant(name);
    if (!variant)
        return 2;
    // A small listing first, so that code and allocator set-up are not part of the measure.
    variant->decode(Bench::generateFileListing(100));
    const QByteArray listing = Bench::generateFileListing(fileCount);
    const bool reset = Bench::startPeakMeasure();
    const long before = Bench::readResidentMemory().current;
    const size_t decoded = variant->decode(listing);
    const long peak = Bench::readResidentMemory().peak;
    std::printf("%ld %d %zu\n", peak - before, reset ? 1 : 0, decoded);
    return 0;
}

double millisecondsOf(const std::function<void()> &work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Peak growth in MB measured in a child, or a negative number when the child failed.
double childPeakMegabytes(const char *name, bool &resetWorked)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--peak-of"), QString::fromLatin1(name)});
    if (!child.waitForFinished(120000) || child.exitCode() != 0)
        return -1;
    long kibibytes = 0;
    int reset = 0;
    size_t decoded = 0;
    if (std::sscanf(child.readAllStandardOutput().constData(), "%ld %d %zu", &kibibytes, &reset,
                    &decoded)
            != 3
        || decoded != size_t(fileCount))
        return -1;
    resetWorked = resetWorked && reset == 1;
    return double(kibibytes) * 1024 / 1e6;
}

const char *verdict(bool pass)
{
    return pass ? "PASS" : "FAIL";
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--peak-of") == 0)
        return printPeakGrowth(argv[2]);

    const QByteArray listing = Bench::generateFileListing(fileCount);
    const double answerMegabytes = double(listing.size()) / 1e6;

    // The two model-producing paths must agree before their speed means anything.
    if (filesFromWireListing(listing) != Bench::filesWithQtJson(listing)) {
        std::printf("FAIL: the library and QJsonDocument read the listing differently\n");
        return 1;
    }

    std::vector<double> best(variants().size(), std::numeric_limits<double>::infinity());
    for (int run = 0; run < runs; ++run) {
        for (size_t i = 0; i < variants().size(); ++i) {
            size_t decoded = 0;
            const double ms = millisecondsOf([&] { decoded = variants()[i].decode(listing); });
            if (decoded != size_t(fileCount)) {
                std::printf("FAIL: %s read %zu files\n", variants()[i].name, decoded);
                return 1;
            }
            best[i] = std::min(best[i], ms);
        }
    }

    bool resetWorked = true;
    std::vector<double> peak;
    for (const Variant &variant : variants())
        peak.push_back(childPeakMegabytes(variant.name, resetWorked));

    std::printf("File listing: %d files, %.1f MB of JSON; best of %d runs\n", fileCount,
                answerMegabytes, runs);
    std::printf("Peak memory: rise of the peak resident size (VmHWM) of a child process above its\n"
                "resident size just before decoding, with the answer already in memory: parser\n"
                "buffers, records, the finished models and their texts, allocator overhead%s.\n\n",
                resetWorked ? "" : " (peak reset refused: earlier peaks may hide in it)");
    for (size_t i = 0; i < variants().size(); ++i)
        std::printf("  %-58s %8.1f ms %8.1f MB\n", variants()[i].description, best[i], peak[i]);

    const double a = best[0], b = best[1], c = best[2];
    const bool fasterThanQt = b / a >= 3.0;
    const bool nearBare = a / c <= 1.5;
    const bool lean = peak[0] >= 0 && peak[0] < 2 * answerMegabytes;
    std::printf("\n  (b)/(a) = %.2f, target >= 3            %s\n", b / a, verdict(fasterThanQt));
    std::printf("  (a)/(c) = %.2f, target <= 1.5          %s\n", a / c, verdict(nearBare));
    std::printf("  peak (a) = %.1f MB, target < %.1f MB   %s\n", peak[0], 2 * answerMegabytes,
                verdict(lean));
    return fasterThanQt && nearBare && lean ? 0 : 1;
}
