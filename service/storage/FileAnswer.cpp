// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/FileAnswer.h"

#include <cerrno>
#include <fcntl.h>
#include <httplib.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace OrvelanNimbal::Service {

namespace {

constexpr std::size_t readPiece = 256 * 1024;
const std::string contentType = "application/octet-stream";

// The open file an answer reads from, closed once the answer is done with it; the server
// calls its provider one piece after the other, so one buffer serves them all.
class OpenFile {
public:
    explicit OpenFile(int descriptor)
        : m_descriptor(descriptor)
    {}
    ~OpenFile() { ::close(m_descriptor); }
    OpenFile(const OpenFile &) = delete;
    OpenFile &operator=(const OpenFile &) = delete;

    bool send(std::size_t offset, std::size_t length, httplib::DataSink &sink)
    {
        m_piece.resize(std::min(length, readPiece));
        for (;;) {
            const ssize_t read =
                ::pread(m_descriptor, m_piece.data(), m_piece.size(), off_t(offset));
            if (read < 0 && errno == EINTR)
                continue;
            return read > 0 && sink.write(m_piece.data(), std::size_t(read));
        }
    }

private:
    int m_descriptor;
    std::vector<char> m_piece;
};

} // namespace

bool answerWithFile(httplib::Response &response, const std::filesystem::path &path)
{
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    auto file = std::make_shared<OpenFile>(descriptor);
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    if (status.st_size == 0) {
        response.set_content(std::string(), contentType);
        return true;
    }
    response.set_content_provider(
        std::size_t(status.st_size), contentType,
        [file](std::size_t offset, std::size_t length, httplib::DataSink &sink) {
            return file->send(offset, length, sink);
        });
    return true;
}

} // namespace OrvelanNimbal::Service
