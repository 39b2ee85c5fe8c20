// Helpers shared by the unit tests: temporary files, records and the
// UTF-8 -> code page 932 conversion the expectations go through.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "vesko.h"

namespace vesko::test {

// Expected library text: the UTF-8 literal converted to code page 932.
std::string cp(const std::string& utf8);

std::string bytes(std::initializer_list<int> values);

// A temporary folder removed with its files at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    std::filesystem::path write(const std::string& name, const std::string& content) const;
    std::filesystem::path path() const { return dir_; }

private:
    std::filesystem::path dir_;
};

std::unique_ptr<AnalysisRecord> makeRecord(const std::filesystem::path& path);
std::unique_ptr<AnalysisRecord> makeRecord(const std::u16string& path);

// GetFileFormat + GetFileInfo on the path.
std::unique_ptr<AnalysisRecord> analyse(const std::filesystem::path& path);

std::string one(const AnalysisRecord& record);
std::string full(const AnalysisRecord& record);

// Points the library at tests/data (test-only templates) or data/.
void useTestData();
void useShippedData();

std::filesystem::path fixture(const std::string& name);

// The test-only templates list every placeholder as name=value separated by
// "|": this splits such a line (code page 932 text) into its fields.
std::map<std::string, std::string> fields(const std::string& line);

}  // namespace vesko::test
