// Path utilities.
#include "platform/utility.h"

#include <cstring>
#include <string>

namespace {

void CopyOut(char* target, const std::string& text) {
    if (target != nullptr) std::memcpy(target, text.c_str(), text.size() + 1);
}

bool IsSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

}  // namespace

int SplitPath(const char* pathName, char* driveName, char* directoryName, char* fileName) {
    const std::string path = pathName != nullptr ? pathName : "";
    std::string drive;
    std::string rest = path;
#ifdef _WIN32
    if (rest.size() >= 2 && rest[1] == ':') {
        drive = rest.substr(0, 2);
        rest = rest.substr(2);
    }
#endif
    std::size_t cut = std::string::npos;
    for (std::size_t i = rest.size(); i > 0; --i) {
        if (IsSeparator(rest[i - 1])) {
            cut = i;
            break;
        }
    }
    const std::string directory = cut == std::string::npos ? std::string() : rest.substr(0, cut);
    const std::string file = cut == std::string::npos ? rest : rest.substr(cut);
    CopyOut(driveName, drive);
    CopyOut(directoryName, directory);
    CopyOut(fileName, file);
    return 0;
}
