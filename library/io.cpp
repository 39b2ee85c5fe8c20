// Operating-system access of the library: opening and reading files, and
// the code page 932 conversion. A build for another system replaces this
// file only.
#include "io.h"

#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace vesko {

namespace {

int openRegularFile(std::u16string_view path, uint64_t& size) {
    if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return -1;
    std::string name = utf16ToUtf8(path);
    int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        ::close(fd);
        return -1;
    }
    size = static_cast<uint64_t>(st.st_size);
    return fd;
}

std::string convert(const char* to, const char* from, std::string_view in) {
    iconv_t cd = iconv_open(to, from);
    std::string out;
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        out.assign(in);
        return out;
    }
    out.reserve(in.size() * 3 / 2 + 8);
    char buffer[1024];
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    while (srcLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<size_t>(dst - buffer));
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG) continue;
            // Invalid or truncated sequence: show it as '?' and go on.
            out.push_back('?');
            ++src;
            --srcLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

}  // namespace

bool FileReader::open(const AnalysisRecord& record) {
    size_t n = 0;
    while (n < VESKO_PATH_UNITS && record.fileName[n] != 0) ++n;
    if (n == VESKO_PATH_UNITS) return false;  // not terminated within the record
    return openPath(std::u16string_view(record.fileName, n));
}

bool FileReader::openPath(std::u16string_view path) {
    close();
    uint64_t fileSize = 0;
    int fd = openRegularFile(path, fileSize);
    if (fd < 0) return false;
    handle = fd;
    size = fileSize;
    position = 0;
    atEnd = false;
    return true;
}

bool FileReader::close() {
    if (handle == -1) return false;
    bool ok = ::close(static_cast<int>(handle)) == 0;
    handle = -1;
    return ok;
}

void FileReader::seek(int64_t offset, int origin) {
    atEnd = false;
    switch (origin) {
        case 0: position = static_cast<uint64_t>(offset); break;
        case 1: position += static_cast<uint64_t>(offset); break;
        case 2: position = size + static_cast<uint64_t>(offset); break;
        default: break;
    }
    if (position >= size) atEnd = true;
}

size_t FileReader::read(void* buffer, size_t count, bool advance) {
    if (handle == -1 || position > static_cast<uint64_t>(INT64_MAX)) {
        atEnd = true;
        return 0;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        uint64_t at = position + done;
        if (at > static_cast<uint64_t>(INT64_MAX)) break;
        ssize_t r = ::pread(static_cast<int>(handle), out + done, count - done, static_cast<off_t>(at));
        if (r < 0) {
            if (errno == EINTR) continue;
            if (done == 0) {
                atEnd = true;
                return 0;
            }
            break;
        }
        if (r == 0) break;
        done += static_cast<size_t>(r);
    }
    if (advance) {
        position += done;
        if (position >= size) atEnd = true;
    }
    return done;
}

uint8_t FileReader::readByte() {
    uint8_t b = 0;
    read(&b, 1, true);
    return b;
}

uint64_t FileReader::skipLeadingId3v2() {
    uint8_t header[16] = {};
    read(header, sizeof header, true);
    // The size bytes are taken as they stand, seven bits each.
    uint64_t s = ((static_cast<uint64_t>(header[6]) * 128 + header[7]) * 128 + header[8]) * 128 + header[9];
    seek(static_cast<int64_t>(s + 10), 0);
    return s + 10;
}

bool readSmallFile(std::u16string_view path, std::string& out, size_t maxBytes) {
    FileReader reader;
    if (!reader.openPath(path)) return false;
    size_t n = reader.size < maxBytes ? static_cast<size_t>(reader.size) : maxBytes;
    out.resize(n);
    out.resize(reader.read(out.data(), n, true));
    return true;
}

std::string utf8ToCp932(std::string_view utf8) { return convert("CP932", "UTF-8", utf8); }
std::string cp932ToUtf8(std::string_view cp932) { return convert("UTF-8", "CP932", cp932); }

}  // namespace vesko
