#include "templates.h"

#include "io.h"
#include "record.h"
#include "text.h"

namespace vesko {

namespace {

std::u16string& storedDirectory() {
    static std::u16string directory;
    return directory;
}

constexpr size_t kPieceBytes = 511;   // lines are read in pieces of this size
constexpr size_t kKeyBytes = 32;      // a key is compared on its first 32 bytes
constexpr size_t kValueBytes = 477;   // longest value taken from a line
constexpr size_t kSectionChars = 32;  // longest section name
constexpr size_t kMaxIniBytes = 4u << 20;

// Reads an INI file line by line the way a C stream reader with a 512-byte
// buffer would: a piece ends after a line feed or after 511 bytes, and the
// end of the file counts as reached on a read that ran out of data before
// a line feed.
class LineReader {
public:
    explicit LineReader(std::string_view data) : data_(data) {}
    // Next piece; sets atEnd() when this read reached the end of the data.
    std::string_view next() {
        size_t left = data_.size() - pos_;
        size_t limit = left < kPieceBytes ? left : kPieceBytes;
        size_t lf = data_.substr(pos_, limit).find('\n');
        size_t n = lf == std::string_view::npos ? limit : lf + 1;
        std::string_view piece = data_.substr(pos_, n);
        pos_ += n;
        if (lf == std::string_view::npos && n < kPieceBytes) atEnd_ = true;
        return piece;
    }
    bool atEnd() const { return atEnd_; }

private:
    std::string_view data_;
    size_t pos_ = 0;
    bool atEnd_ = false;
};

bool isEmptyLine(std::string_view line) {
    return line.starts_with("\r\n") || line.starts_with("\n");
}

// The value of an entry line: the text after the run of TABs, less the
// line end (CR LF, or a lone LF).
std::string_view entryValue(std::string_view rest) {
    if (rest.ends_with('\n')) rest.remove_suffix(1);
    if (rest.ends_with('\r')) rest.remove_suffix(1);
    if (rest.size() > kValueBytes) rest = rest.substr(0, kValueBytes);
    return rest;
}

std::string failure(const char* label, std::string_view key, size_t outSize) {
    std::string text = jp(label);
    text.append(key);
    if (outSize == 0) return std::string();
    if (text.size() > outSize - 1) text.resize(outSize - 1);
    return text;
}

}  // namespace

void setDataDirectory(std::u16string_view directory) {
    storedDirectory().clear();
    if (directory.size() < 256) storedDirectory().assign(directory);
}

const std::u16string& dataDirectory() { return storedDirectory(); }

std::string lookupTemplate(std::string_view key, std::string_view section, std::u16string_view iniName,
                           size_t outSize) {
    std::u16string path = dataDirectory();
    path.append(iniName);
    std::string data;
    if (!readSmallFile(path, data, kMaxIniBytes)) return failure("C空", key, outSize);
    if (section.size() > kSectionChars) return failure("S長", key, outSize);

    // An empty key (a FourCC or brand cut short by a NUL byte) would match
    // every entry of the section: it matches none.
    if (key.empty()) return failure("不明", key, outSize);

    std::string header = "[";
    header.append(section);
    header.push_back(']');

    LineReader lines(data);
    std::string_view line;
    do {
        line = lines.next();
    } while (!lines.atEnd() && !startsWithNoCase(line, header));
    if (lines.atEnd()) return failure("S不明", key, outSize);
    line = lines.next();
    if (lines.atEnd()) return failure("S不明", key, outSize);

    std::string out;
    const size_t limit = outSize == 0 ? 0 : outSize - 1;
    while (!isEmptyLine(line) && !lines.atEnd()) {
        size_t tab = line.find('\t');
        if (!line.starts_with(';') && tab != std::string_view::npos) {
            std::string_view entryKey = line.substr(0, tab < kKeyBytes ? tab : kKeyBytes);
            size_t valueAt = line.find_first_not_of('\t', tab);
            if (valueAt == std::string_view::npos) valueAt = line.size();
            if (startsWithNoCase(entryKey, key)) {
                if (!out.empty()) out.append(" / ");
                out.append(entryValue(line.substr(valueAt)));
                if (out.size() > limit) out.resize(limit);
            }
        }
        line = lines.next();
    }
    if (out.empty()) return failure("不明", key, outSize);
    return out;
}

bool replacePlaceholder(std::string& text, std::string_view placeholder, std::string_view value, size_t outSize) {
    if (placeholder.empty() || outSize == 0) return false;
    const size_t limit = outSize - 1;
    std::string out;
    out.reserve(text.size() + value.size());
    bool replaced = false;
    size_t i = 0;
    while (i < text.size()) {
        if (startsWithNoCase(std::string_view(text).substr(i), placeholder) && out.size() + value.size() <= limit) {
            out.append(value);
            i += placeholder.size();
            replaced = true;
        } else {
            out.push_back(text[i]);
            ++i;
        }
    }
    if (out.size() > limit) out.resize(limit);
    text = std::move(out);
    return replaced;
}

}  // namespace vesko
