#include "test_support.h"

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <random>

#include "io.h"

namespace vesko::test {

std::string cp(const std::string& utf8) { return utf8ToCp932(utf8); }

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out.push_back(static_cast<char>(v));
    return out;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vesko-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    dir_ = ::mkdtemp(buffer.data());
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::filesystem::path TempDir::write(const std::string& name, const std::string& content) const {
    auto file = dir_ / name;
    std::ofstream out(file, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return file;
}

std::unique_ptr<AnalysisRecord> makeRecord(const std::u16string& path) {
    auto record = std::make_unique<AnalysisRecord>();
    std::memset(record.get(), 0, sizeof(AnalysisRecord));
    size_t n = path.size() < VESKO_PATH_UNITS ? path.size() : VESKO_PATH_UNITS;
    std::memcpy(record->fileName, path.data(), n * sizeof(char16_t));
    return record;
}

std::unique_ptr<AnalysisRecord> makeRecord(const std::filesystem::path& path) {
    return makeRecord(utf8ToUtf16(path.string()));
}

std::unique_ptr<AnalysisRecord> analyse(const std::filesystem::path& path) {
    auto record = makeRecord(path);
    GetFileFormat(record.get());
    GetFileInfo(record.get());
    return record;
}

std::string one(const AnalysisRecord& record) {
    std::string buffer(static_cast<size_t>(ConvertOneLen(&record)) + 1, '\0');
    ConvertOne(&record, buffer.data());
    return buffer.c_str();
}

std::string full(const AnalysisRecord& record) {
    std::string buffer(static_cast<size_t>(ConvertFullLen(&record)) + 1, '\0');
    ConvertFull(&record, buffer.data());
    return buffer.c_str();
}

void useTestData() { SetPath(utf8ToUtf16(VESKO_TEST_DATA_DIR).c_str()); }
void useShippedData() { SetPath(utf8ToUtf16(VESKO_SHIPPED_DATA_DIR).c_str()); }

std::filesystem::path fixture(const std::string& name) { return std::filesystem::path(VESKO_FIXTURE_DIR) / "files" / name; }

std::map<std::string, std::string> fields(const std::string& line) {
    std::map<std::string, std::string> out;
    size_t start = 0;
    while (start <= line.size()) {
        size_t bar = line.find('|', start);
        std::string field = line.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
        size_t eq = field.find('=');
        if (eq != std::string::npos) out[field.substr(0, eq)] = field.substr(eq + 1);
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    return out;
}

}  // namespace vesko::test
