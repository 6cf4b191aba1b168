// SPDX-License-Identifier: GPL-3.0-or-later
// Every answer the client reads, decoded from any bytes: a decoding ends in a record or in a
// DriveError, never in anything else; an answer reads the same wherever its bytes sit in memory
// (an exact copy, a body cut from the end of a larger buffer, one with room to spare); and a
// listing read a piece at a time gives the records, or the failure, that it gives read whole.
#include "FuzzCheck.h"
#include "auth/DriveSession.h"
#include "auth/LoginDTOs.h"
#include "errors/DriveError.h"
#include "models/DriveDTOs.h"
#include "models/WireConversions.h"

#include <tuple>
#include <variant>
#include <vector>

using namespace OrvelanNimbal;

namespace {

// What a decoding gave: a comparable rendering of the record, or the failure's description.
template <class T, class Render>
auto outcome(const QByteArray &json, Render render)
{
    using Rendering = decltype(render(std::declval<T>()));
    try {
        return std::variant<Rendering, QString>(render(Json::decode<T>(json)));
    } catch (const DriveError &error) {
        NIMBAL_FUZZ_CHECK(error.kind() == DriveError::Kind::decoding);
        return std::variant<Rendering, QString>(error.errorDescription());
    }
}

// Every answer, each rendered as what the client keeps of it.
auto outcomes(const QByteArray &json)
{
    return std::tuple{
        outcome<FileDTO>(json, [](FileDTO dto) { return fileFromWire(std::move(dto)); }),
        outcome<FolderDTO>(json, [](FolderDTO dto) { return folderFromWire(std::move(dto)); }),
        outcome<ChangesDTO>(json, [](ChangesDTO dto) { return changesFromWire(std::move(dto)); }),
        outcome<QuotaDTO>(json, [](const QuotaDTO &dto) { return quotaFromWire(dto); }),
        outcome<DownloadURLDTO>(json,
                                [](const DownloadURLDTO &dto) { return downloadFromWire(dto); }),
        outcome<PresignDTO>(json, [](const PresignDTO &dto) { return std::tuple(dto.url); }),
        outcome<CreateFolderResponseDTO>(json,
                                         [](const CreateFolderResponseDTO &dto) { return dto.id; }),
        outcome<UploadResponseDTO>(json,
                                   [](const UploadResponseDTO &dto) {
                                       return std::tuple(dto.id, dto.s3Key, dto.thumbnailPath);
                                   }),
        outcome<ReplaceResponseDTO>(json,
                                    [](const ReplaceResponseDTO &dto) {
                                        return std::tuple(dto.id, dto.filePath, dto.fileSize,
                                                          dto.contentHash, dto.dateUpload,
                                                          dto.storageClass);
                                    }),
        outcome<MultipartInitDTO>(json,
                                  [](const MultipartInitDTO &dto) {
                                      return std::tuple(dto.uploadID, dto.s3Key, dto.partSize);
                                  }),
        outcome<LoginResponseDTO>(
            json,
            [](const LoginResponseDTO &dto) { return std::tuple(dto.accessToken, dto.email); }),
        outcome<TwoFactorRequiredDTO>(json,
                                      [](const TwoFactorRequiredDTO &dto) {
                                          return std::tuple(dto.twoFactorRequired, dto.pendingToken,
                                                            dto.methods, dto.expiresIn, dto.email);
                                      }),
        outcome<TwoFactorVerifyDTO>(json,
                                    [](const TwoFactorVerifyDTO &dto) {
                                        return std::tuple(dto.accessToken, dto.email,
                                                          dto.trustedDeviceToken);
                                    }),
        outcome<DriveSession>(json, [](const DriveSession &session) { return session; }),
    };
}

// The same bytes, placed as answers arrive: an exact copy; the end of a larger buffer, whose
// free space is all in front; and a buffer with room to spare behind.
std::vector<QByteArray> placements(const QByteArray &json)
{
    QByteArray exact(json.constData(), json.size());
    QByteArray cut = QByteArray(4096, ' ') + json;
    cut.remove(0, 4096);
    QByteArray roomy = json;
    roomy.reserve(json.size() + 256);
    return {exact, cut, roomy};
}

// A listing read a piece at a time: the records handed over, then the failure if there was one.
template <class DTO, class Model>
std::pair<std::vector<Model>, QString> inPieces(const QByteArray &json, size_t pieceSize,
                                                Model (*convert)(DTO &&))
{
    std::vector<Model> records;
    try {
        Json::decodeEach<DTO>(
            json, [&](DTO &&dto) { records.push_back(convert(std::move(dto))); }, pieceSize);
    } catch (const DriveError &error) {
        return {std::move(records), error.errorDescription()};
    }
    return {std::move(records), {}};
}

template <class DTO, class Model>
void checkListing(const QByteArray &json, Model (*convert)(DTO &&))
{
    std::vector<Model> whole;
    QString failure;
    try {
        for (auto &dto : Json::decode<std::vector<DTO>>(json))
            whole.push_back(convert(std::move(dto)));
    } catch (const DriveError &error) {
        failure = error.errorDescription();
    }
    for (size_t pieceSize : {size_t(1), size_t(24), size_t(97)}) {
        const auto [records, pieceFailure] = inPieces(json, pieceSize, convert);
        NIMBAL_FUZZ_CHECK(pieceFailure == failure);
        if (failure.isEmpty())
            NIMBAL_FUZZ_CHECK(records == whole);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray json = Fuzzing::bytesOf(data, size);
    const auto expected = outcomes(json);
    for (const QByteArray &placed : placements(json))
        NIMBAL_FUZZ_CHECK(outcomes(placed) == expected);

    DriveFile (*file)(FileDTO &&) = fileFromWire;
    DriveFolder (*folder)(FolderDTO &&) = folderFromWire;
    checkListing(json, file);
    checkListing(json, folder);
    return 0;
}
