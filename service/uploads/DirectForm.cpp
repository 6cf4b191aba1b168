// SPDX-License-Identifier: GPL-3.0-or-later
#include "uploads/DirectForm.h"

#include "drive/DriveFailure.h"
#include "foundation/JsonHttp.h"
#include "foundation/Utf8.h"
#include "storage/StreamedFile.h"
#include "uploads/UploadBody.h"
#include "uploads/UploadLimits.h"

#include <charconv>

namespace OrvelanNimbal::Service {

namespace {

const std::string filePart = "file";
// Text fields carry ids, hashes and dates: a few dozen bytes. A larger one is not ours.
constexpr std::size_t longestField = 4096;
constexpr std::size_t mostFields = 32;

DriveFailure malformed(const QString &why)
{
    return DriveFailure::invalid(QStringLiteral("formulaire d'envoi malformé : %1").arg(why));
}

// Follows the parts of the form as the library delivers them.
class FormReader {
public:
    FormReader(StreamedFile &file, std::int64_t limit)
        : m_file(file)
        , m_limit(limit)
    {}

    bool startPart(const httplib::MultipartFormData &part)
    {
        endField();
        m_inFile = part.name == filePart;
        if (m_inFile) {
            if (m_sawFile)
                return refuse(QStringLiteral("plusieurs parts « file »"));
            m_sawFile = true;
            // The same rule as a name in JSON: text that is not UTF-8 is refused, not mended.
            const auto name = decodeUtf8Strictly(part.filename);
            if (!name) {
                m_refusal = DriveFailure::invalidName(
                    QStringLiteral("un nom doit être du texte UTF-8 valide"));
                return false;
            }
            m_form.fileName = *name;
            m_form.contentType = fromStd(part.content_type);
        } else {
            if (m_form.fields.size() >= mostFields)
                return refuse(QStringLiteral("trop de champs"));
            m_fieldName = part.name;
            m_fieldValue.clear();
        }
        return true;
    }

    bool receive(const char *data, std::size_t length)
    {
        if (!m_inFile) {
            if (m_fieldValue.size() + length > longestField)
                return refuse(QStringLiteral("champ « %1 » trop long").arg(fromStd(m_fieldName)));
            m_fieldValue.append(data, length);
            return true;
        }
        m_received += std::int64_t(length);
        if (m_received <= m_limit) {
            m_file.write(data, length);
            return true;
        }
        // Past the limit the file part is dropped as it comes (UploadLimits::mostBytesDropped).
        return m_received - m_limit <= UploadLimits::mostBytesDropped;
    }

    DirectForm finish(bool complete)
    {
        if (m_refusal)
            throw *m_refusal;
        if (m_received > m_limit)
            throw DriveFailure::tooLarge(
                QStringLiteral("plus de %1 octets : envoyez ce contenu en plusieurs parts")
                    .arg(m_limit));
        if (!complete)
            throw malformed(QStringLiteral("corps interrompu ou illisible"));
        endField();
        if (m_refusal)
            throw *m_refusal;
        if (!m_sawFile)
            throw malformed(QStringLiteral("la part « file » manque"));
        return std::move(m_form);
    }

private:
    bool refuse(const QString &why)
    {
        m_refusal = malformed(why);
        return false;
    }

    void endField()
    {
        if (m_fieldName.empty())
            return;
        const auto value = decodeUtf8Strictly(m_fieldValue);
        if (!value && !m_refusal)
            m_refusal = malformed(QStringLiteral("le champ « %1 » n'est pas du texte UTF-8")
                                      .arg(fromStd(m_fieldName)));
        m_form.fields[m_fieldName] = value.value_or(QString());
        m_fieldName.clear();
    }

    StreamedFile &m_file;
    std::int64_t m_limit;
    DirectForm m_form;
    bool m_inFile = false;
    bool m_sawFile = false;
    std::int64_t m_received = 0;
    std::string m_fieldName;
    std::string m_fieldValue;
    std::optional<DriveFailure> m_refusal;
};

} // namespace

std::optional<QString> DirectForm::field(const std::string &name) const
{
    const auto found = fields.find(name);
    if (found == fields.end())
        return std::nullopt;
    return found->second;
}

std::optional<std::int64_t> DirectForm::wholeField(const std::string &name) const
{
    const auto text = field(name);
    if (!text)
        return std::nullopt;
    const std::string digits = text->trimmed().toStdString();
    std::int64_t value = 0;
    const char *end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || error != std::errc() || stop != end)
        throw DriveFailure::invalid(QStringLiteral("le champ « %1 » doit être un nombre entier")
                                        .arg(QString::fromStdString(name)));
    return value;
}

DirectForm readDirectForm(UploadBody &body, StreamedFile &file, std::int64_t contentLimit)
{
    if (!body.isForm())
        throw malformed(QStringLiteral("multipart/form-data est attendu"));
    FormReader reader(file, contentLimit);
    const bool complete = body.readForm(
        [&](const httplib::MultipartFormData &part) { return reader.startPart(part); },
        [&](const char *data, size_t length) { return reader.receive(data, length); });
    return reader.finish(complete);
}

} // namespace OrvelanNimbal::Service
