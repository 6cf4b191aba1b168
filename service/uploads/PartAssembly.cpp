// SPDX-License-Identifier: GPL-3.0-or-later
#include "uploads/PartAssembly.h"

#include "drive/DriveFailure.h"
#include "storage/StreamedFile.h"
#include "uploads/PartStore.h"
#include "uploads/UploadLimits.h"

#include <QJsonObject>

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <memory>
#include <unistd.h>

namespace OrvelanNimbal::Service {

namespace {

constexpr std::size_t pieceSize = 1024 * 1024;

DriveFailure invalidParts(const QString &why)
{
    return DriveFailure::mismatch(QStringLiteral("invalid_parts"), why);
}

// A stored part's bytes, or invalid_parts when its file is gone or not the size recorded.
class PartFile {
public:
    PartFile(const std::filesystem::path &path, const StoredPart &part)
        : m_descriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC))
        , m_number(part.number)
    {
        std::error_code error;
        if (m_descriptor < 0 || std::filesystem::file_size(path, error) != std::uintmax_t(part.size)
            || error)
            throw invalidParts(
                QStringLiteral("la part %1 n'est plus sur le stockage").arg(m_number));
        ::posix_fadvise(m_descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    ~PartFile()
    {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
    }
    PartFile(const PartFile &) = delete;
    PartFile &operator=(const PartFile &) = delete;

    void copyInto(StreamedFile &into, char *piece)
    {
        for (;;) {
            const ssize_t read = ::read(m_descriptor, piece, pieceSize);
            if (read < 0 && errno == EINTR)
                continue;
            if (read < 0)
                throw invalidParts(QStringLiteral("la part %1 est illisible").arg(m_number));
            if (read == 0)
                return;
            into.write(piece, std::size_t(read));
        }
    }

private:
    int m_descriptor;
    int m_number;
};

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

void assembleParts(const PartStore &store, const UploadSession &upload,
                   const std::vector<StoredPart> &stored, const std::vector<ListedPart> &listed,
                   StreamedFile &into)
{
    std::map<int, const StoredPart *> byNumber;
    for (const StoredPart &part : stored)
        byNumber.emplace(part.number, &part);

    // Everything is checked before a byte is copied: a refused list costs no disk.
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

    const auto piece = std::make_unique_for_overwrite<char[]>(pieceSize);
    for (const StoredPart *part : chosen) {
        PartFile file(store.partPath(upload.accountId, upload.id, part->number), *part);
        file.copyInto(into, piece.get());
    }
}

} // namespace OrvelanNimbal::Service
