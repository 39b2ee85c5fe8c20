// vesko: the command-line front end of the library. Files and folders in;
// per file the one-line summary, the full report or JSON out, in UTF-8.
#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "vesko.h"

namespace fs = std::filesystem;

namespace {

const char* kUsage =
    "Usage: vesko [options] PATH...\n"
    "Identifies and analyses audio, video and picture files.\n"
    "\n"
    "PATH is a file or a folder (its files, in name order); paths are\n"
    "handled in the order given.\n"
    "\n"
    "Options:\n"
    "  -r, --recursive  also take the files of subfolders\n"
    "      --full       per file: \"[name]\", the full report, an empty line\n"
    "      --json       one JSON array; per file an object with path, formatCode,\n"
    "                   formatName, errorText, video, audio, extra, duration\n"
    "                   (seconds, null when unknown), fileSize and summary\n"
    "      --data DIR   folder of FORMAT.INI and CODECS.INI (default: the installed\n"
    "                   or built data files)\n"
    "  -h, --help       this text\n"
    "      --version    the library's version\n"
    "\n"
    "Default output: per file the path, a TAB and the one-line summary.\n"
    "All output is UTF-8.\n"
    "\n"
    "Exit status: 0 when every file was analysed (an unsupported format is\n"
    "still analysed), 1 when any file could not be opened, 2 for bad usage.\n";

enum class Mode { Summary, Full, Json };

struct Options {
    Mode mode = Mode::Summary;
    bool recursive = false;
    std::string dataDir;
    std::vector<std::string> paths;
};

std::string cp932ToUtf8(const char* text, size_t length) {
    static iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text, length);
    std::string out;
    char buffer[1024];
    char* src = const_cast<char*>(text);
    size_t left = length;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    while (left > 0) {
        char* dst = buffer;
        size_t room = sizeof buffer;
        size_t r = iconv(cd, &src, &left, &dst, &room);
        out.append(buffer, static_cast<size_t>(dst - buffer));
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            out += "?";
            ++src;
            --left;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

std::string slotText(const char* slot, size_t width) {
    const void* nul = std::memchr(slot, 0, width);
    size_t n = nul ? static_cast<size_t>(static_cast<const char*>(nul) - slot) : width - 1;
    return cp932ToUtf8(slot, n);
}

// UTF-8 (as the system hands paths over) to UTF-16; false on bad UTF-8.
bool toUtf16(const std::string& s, std::u16string& out) {
    out.clear();
    for (size_t i = 0; i < s.size();) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        uint32_t c;
        size_t len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
        if (len == 0 || i + len > s.size()) return false;
        c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        for (size_t k = 1; k < len; ++k) {
            unsigned char cb = static_cast<unsigned char>(s[i + k]);
            if ((cb & 0xC0) != 0x80) return false;
            c = c << 6 | (cb & 0x3F);
        }
        i += len;
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return true;
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char esc[8];
                    std::snprintf(esc, sizeof esc, "\\u%04x", c);
                    out += esc;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string jsonNumber(double v) {
    char buffer[64];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}

std::string lfLines(std::string text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

bool isFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

fs::path executableDir() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

// The folder of FORMAT.INI: --data, else beside an installed tool, else the
// build tree's data folder.
std::string findDataDir(const std::string& given) {
    if (!given.empty()) return given;
    std::vector<fs::path> candidates;
    fs::path exeDir = executableDir();
    if (!exeDir.empty()) {
        candidates.push_back(exeDir / ".." / VESKO_INSTALL_DATA_DIR);
        candidates.push_back(exeDir / "data");
    }
    candidates.push_back(VESKO_SOURCE_DATA_DIR);
    for (const auto& dir : candidates)
        if (isFile((dir / "FORMAT.INI").string())) return fs::weakly_canonical(dir).string();
    return candidates.back().string();
}

class Tool {
public:
    explicit Tool(Options options) : options_(std::move(options)) {}

    int run() {
        setUpData();
        if (options_.mode == Mode::Json) std::fputs("[", stdout);
        for (const auto& path : options_.paths) visit(path, true);
        if (options_.mode == Mode::Json) std::fputs(count_ ? "\n]\n" : "]\n", stdout);
        std::fflush(stdout);
        return failed_ ? 1 : 0;
    }

private:
    void setUpData() {
        std::string dir = findDataDir(options_.dataDir);
        if (!dir.empty() && dir.back() != '/') dir += '/';
        if (!isFile(dir + "FORMAT.INI"))
            std::fprintf(stderr,
                         "vesko: warning: no FORMAT.INI in %s; description lines will show the lookup failure "
                         "texts (use --data DIR)\n",
                         dir.c_str());
        else if (!isFile(dir + "CODECS.INI"))
            std::fprintf(stderr, "vesko: warning: no CODECS.INI in %s; codec names will not be found\n", dir.c_str());
        std::u16string wide;
        if (!toUtf16(dir, wide) || wide.size() > 255) {
            std::fprintf(stderr, "vesko: warning: data folder path unusable (over 255 UTF-16 units): %s\n", dir.c_str());
            return;
        }
        SetPath(wide.c_str());
    }

    void visit(const std::string& path, bool top) {
        std::error_code ec;
        if (fs::is_directory(path, ec) && (top || options_.recursive)) {
            std::vector<fs::directory_entry> entries;
            for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
            if (ec) {
                std::fprintf(stderr, "vesko: %s: cannot read folder: %s\n", path.c_str(), ec.message().c_str());
                failed_ = true;
                return;
            }
            std::sort(entries.begin(), entries.end(),
                      [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
            for (const auto& entry : entries) {
                std::error_code e2;
                if (entry.is_directory(e2)) {
                    if (options_.recursive) visit(entry.path().string(), false);
                } else {
                    analyse(entry.path().string());
                }
            }
            return;
        }
        analyse(path);
    }

    void analyse(const std::string& path) {
        std::u16string wide;
        if (!toUtf16(path, wide)) {
            std::fprintf(stderr, "vesko: %s: the name is not valid UTF-8; not analysed\n", path.c_str());
            failed_ = true;
            return;
        }
        if (wide.size() >= VESKO_PATH_UNITS) {
            std::fprintf(stderr, "vesko: %s: the path has %zu UTF-16 units, more than the 255 a record holds; not analysed\n",
                         path.c_str(), wide.size());
            failed_ = true;
            return;
        }
        auto record = std::make_unique<AnalysisRecord>();
        std::memset(record.get(), 0, sizeof(AnalysisRecord));
        std::copy(wide.begin(), wide.end(), record->fileName);
        GetFileFormat(record.get());
        GetFileInfo(record.get());

        std::string errorText = slotText(record->errorText, sizeof record->errorText);
        if (record->formatCode == VESKO_FMT_OPEN_FAILED || errorText == "ファイルのオープンに失敗") failed_ = true;

        std::string summary = render(*record, false);
        switch (options_.mode) {
            case Mode::Summary:
                std::printf("%s\t%s\n", path.c_str(), summary.c_str());
                break;
            case Mode::Full:
                std::printf("[%s]\n%s\n\n", fs::path(path).filename().c_str(), lfLines(render(*record, true)).c_str());
                break;
            case Mode::Json:
                printJson(path, *record, errorText, summary);
                break;
        }
        ++count_;
    }

    static std::string render(const AnalysisRecord& record, bool full) {
        int32_t length = full ? ConvertFullLen(&record) : ConvertOneLen(&record);
        std::string buffer(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
        if (full)
            ConvertFull(&record, buffer.data());
        else
            ConvertOne(&record, buffer.data());
        return cp932ToUtf8(buffer.c_str(), std::strlen(buffer.c_str()));
    }

    void printJson(const std::string& path, const AnalysisRecord& r, const std::string& errorText,
                   const std::string& summary) {
        auto list = [](const char (*lines)[VESKO_LINE_BYTES], int32_t count, int capacity) {
            std::string out = "[";
            int n = std::clamp<int32_t>(count, 0, capacity);
            for (int i = 0; i < n; ++i) {
                if (i) out += ", ";
                out += jsonString(slotText(lines[i], VESKO_LINE_BYTES));
            }
            return out + "]";
        };
        std::string duration = (r.duration == -1.0 || !std::isfinite(r.duration)) ? "null" : jsonNumber(r.duration);
        std::printf("%s\n  {\"path\": %s, \"formatCode\": %d, \"formatName\": %s, \"errorText\": %s,\n"
                    "   \"video\": %s, \"audio\": %s, \"extra\": %s,\n"
                    "   \"duration\": %s, \"fileSize\": %lld, \"summary\": %s}",
                    count_ ? "," : "", jsonString(path).c_str(), r.formatCode,
                    jsonString(slotText(r.formatName, sizeof r.formatName)).c_str(), jsonString(errorText).c_str(),
                    list(r.videoText, r.videoCount, VESKO_MAX_VIDEO).c_str(),
                    list(r.audioText, r.audioCount, VESKO_MAX_AUDIO).c_str(),
                    list(r.extraText, r.extraCount, VESKO_MAX_EXTRA).c_str(), duration.c_str(),
                    static_cast<long long>(r.fileSize), jsonString(summary).c_str());
    }

    Options options_;
    bool failed_ = false;
    int count_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    bool endOfOptions = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (!endOfOptions && arg.size() > 1 && arg[0] == '-') {
            if (arg == "--") {
                endOfOptions = true;
            } else if (arg == "-h" || arg == "--help") {
                std::fputs(kUsage, stdout);
                return 0;
            } else if (arg == "--version") {
                std::printf("vesko (library version %d)\n", GetDllVersion());
                return 0;
            } else if (arg == "-r" || arg == "--recursive") {
                options.recursive = true;
            } else if (arg == "--full") {
                options.mode = Mode::Full;
            } else if (arg == "--json") {
                options.mode = Mode::Json;
            } else if (arg == "--data" || arg.rfind("--data=", 0) == 0) {
                if (arg == "--data") {
                    if (i + 1 >= argc) {
                        std::fprintf(stderr, "vesko: --data needs a folder\n%s", kUsage);
                        return 2;
                    }
                    options.dataDir = argv[++i];
                } else {
                    options.dataDir = arg.substr(7);
                }
            } else {
                std::fprintf(stderr, "vesko: unknown option %s\n%s", arg.c_str(), kUsage);
                return 2;
            }
            continue;
        }
        options.paths.push_back(arg);
    }
    if (options.paths.empty()) {
        std::fprintf(stderr, "vesko: no file or folder given\n%s", kUsage);
        return 2;
    }
    return Tool(std::move(options)).run();
}
