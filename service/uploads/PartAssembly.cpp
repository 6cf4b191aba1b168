// SPDX-License-Identifier: GPL-3.0-or-later
#include "uploads/PartAssembly.h"

#include "drive/DriveFailure.h"
#include "storage/ContentDigest.h"
#include "storage/FileWriter.h"
#include "storage/StreamedFile.h"
#include "uploads/PartStore.h"
#include "uploads/UploadDigests.h"
#include "uploads/UploadLimits.h"

#include <QJsonObject>

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace OrvelanNimbal::Service {

namespace {

constexpr std::size_t pieceSize = 1024 * 1024;

DriveFailure invalidParts(const QString &why)
{
    return DriveFailure::mismatch(QStringLiteral("invalid_parts"), why);
}

// Bytes of a file on disk from an offset, or invalid_parts naming the part they are when the
// file is gone or shorter than recorded.
class PartSource {
public:
    PartSource(const std::filesystem::path &path, std::int64_t offset, std::int64_t length,
               int number)
        : m_descriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC))
        , m_offset(offset)
        , m_length(length)
        , m_number(number)
    {
        struct stat status {};
        if (m_descriptor < 0 || ::fstat(m_descriptor, &status) != 0
            || status.st_size < offset + length)
            throw gone(number);
        ::posix_fadvise(m_descriptor, offset, length, POSIX_FADV_SEQUENTIAL);
    }
    ~PartSource()
    {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
    }
    PartSource(const PartSource &) = delete;
    PartSource &operator=(const PartSource &) = delete;

    // Hands every byte to `take`, a piece at a time.
    template <class Take>
    void read(char *piece, Take take)
    {
        for (std::int64_t done = 0; done < m_length;) {
            const auto wanted = std::size_t(std::min<std::int64_t>(pieceSize, m_length - done));
            const ssize_t read = ::pread(m_descriptor, piece, wanted, off_t(m_offset + done));
            if (read < 0 && errno == EINTR)
                continue;
            if (read <= 0)
                throw invalidParts(QStringLiteral("la part %1 est illisible").arg(m_number));
            take(piece, std::size_t(read));
            done += read;
        }
    }

private:
    static DriveFailure gone(int number)
    {
        return invalidParts(QStringLiteral("la part %1 n'est plus sur le stockage").arg(number));
    }

    int m_descriptor;
    std::int64_t m_offset;
    std::int64_t m_length;
    int m_number;
};

// Whether the listed parts are the upload's content as it lies: every part cut as suggested,
// in its place, none missing.
bool liesInPlace(const UploadSession &upload, const std::vector<const StoredPart *> &chosen)
{
    if (std::int64_t(chosen.size()) != UploadLimits::suggestedPartCount(upload.fileSize))
        return false;
    for (std::size_t index = 0; index < chosen.size(); ++index) {
        if (!chosen[index]->inPlace || chosen[index]->number != int(index) + 1)
            return false;
    }
    return true;
}

QString hashOf(const std::filesystem::path &file, std::int64_t size)
{
    ContentDigest digest;
    const auto piece = std::make_unique_for_overwrite<char[]>(pieceSize);
    PartSource(file, 0, size, 1).read(piece.get(), [&](const char *data, std::size_t length) {
        digest.add(data, length);
    });
    return digest.hex();
}

} // namespace

std::vector<ListedPart> listedParts(const QJsonArray &parts)
{
    std::vector<ListedPart> listed;
    for (const QJsonValue &value : parts) {
        const QJsonObject part = value.toObject();
        const QJsonValue number = part.value(u"PartNumber");
        const QJsonValue etag = part.value(u"ETag");
        if (!number.isDouble() || number.toDouble() != double(number.toInt()) || !etag.isString())
            throw DriveFailure::invalid(
                QStringLiteral("« parts » : des objets {\"PartNumber\", \"ETag\"} sont attendus"));
        listed.push_back({number.toInt(), etag.toString()});
    }
    return listed;
}

AssembledContent::AssembledContent() = default;
AssembledContent::AssembledContent(AssembledContent &&) noexcept = default;
AssembledContent::~AssembledContent() = default;

AssembledContent assembleParts(const PartStore &store, UploadDigests &digests,
                               const UploadSession &upload, const std::vector<StoredPart> &stored,
                               const std::vector<ListedPart> &listed,
                               const std::filesystem::path &copyFolder)
{
    std::map<int, const StoredPart *> byNumber;
    for (const StoredPart &part : stored)
        byNumber.emplace(part.number, &part);

    // Everything is checked before a byte is read: a refused list costs no disk.
    std::vector<const StoredPart *> chosen;
    std::int64_t total = 0;
    int previous = 0;
    for (const ListedPart &part : listed) {
        if (part.number <= previous || part.number > UploadLimits::mostParts)
            throw invalidParts(QStringLiteral("les parts doivent être listées une fois chacune, "
                                              "dans l'ordre croissant, de 1 à %1")
                                   .arg(UploadLimits::mostParts));
        previous = part.number;
        const auto found = byNumber.find(part.number);
        if (found == byNumber.end())
            throw invalidParts(QStringLiteral("la part %1 n'a pas été reçue").arg(part.number));
        if (found->second->etag != part.etag)
            throw invalidParts(
                QStringLiteral("la part %1 n'a pas cet ETag : elle a été renvoyée depuis")
                    .arg(part.number));
        chosen.push_back(found->second);
        total += found->second->size;
    }
    if (total != upload.fileSize)
        throw DriveFailure::mismatch(QStringLiteral("size_mismatch"),
                                     QStringLiteral("les parts font %1 octets, %2 étaient annoncés")
                                         .arg(total)
                                         .arg(upload.fileSize));

    AssembledContent content;
    content.size = total;
    const auto inPlace = store.contentPath(upload.accountId, upload.id);
    if (liesInPlace(upload, chosen)) {
        content.file = inPlace;
        if (chosen.empty())
            FileWriter(openForWriting(inPlace, false), 0, nullptr).finish(); // it had no part
        const auto taken = digests.finish(upload.id, std::int64_t(chosen.size()));
        content.hash = taken ? *taken : hashOf(inPlace, total);
        return content;
    }
    content.copy = std::make_unique<StreamedFile>(copyFolder);
    const auto piece = std::make_unique_for_overwrite<char[]>(pieceSize);
    for (const StoredPart *part : chosen) {
        const auto slot = UploadLimits::suggestedSlot(upload.fileSize, part->number);
        PartSource source =
            part->inPlace
                ? PartSource(inPlace, slot ? slot->offset : 0, part->size, part->number)
                : PartSource(store.partPath(upload.accountId, upload.id, part->number), 0,
                             part->size, part->number);
        source.read(piece.get(), [&](const char *data, std::size_t length) {
            content.copy->write(data, length);
        });
    }
    content.hash = content.copy->finish();
    content.file = content.copy->path();
    return content;
}

} // namespace OrvelanNimbal::Service
