// The calls VeskoLite makes into the analysis library, as an interface: the
// program drives the run-time binding (LibraryBinding), the tests drive the
// same code with the real library or with a fake.
#pragma once

#include <cstdint>

#include "vesko.h"

namespace vesko::lite {

class LibraryApi {
public:
    virtual ~LibraryApi() = default;

    virtual int32_t dllVersion() const = 0;
    // True when the library's Unicode() reports 1.
    virtual bool isUnicode() const = 0;

    virtual void getFileFormat(AnalysisRecord& record) = 0;
    virtual void getFileInfo(AnalysisRecord& record) = 0;
    virtual int32_t convertOneLen(const AnalysisRecord& record) = 0;
    virtual void convertOne(const AnalysisRecord& record, char* out) = 0;
    virtual int32_t convertFullLen(const AnalysisRecord& record) = 0;
    virtual void convertFull(const AnalysisRecord& record, char* out) = 0;
};

}  // namespace vesko::lite
