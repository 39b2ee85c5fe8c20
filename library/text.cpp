#include "text.h"

#include <map>
#include <memory>
#include <string>

#include "io.h"

namespace vesko {

const char* jp(const char* utf8) {
    // The library is called from one thread at a time.
    static std::map<const char*, std::unique_ptr<std::string>> converted;
    auto it = converted.find(utf8);
    if (it == converted.end())
        it = converted.emplace(utf8, std::make_unique<std::string>(utf8ToCp932(utf8))).first;
    return it->second->c_str();
}

}  // namespace vesko
