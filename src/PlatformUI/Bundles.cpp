// Bundles found through the component registry's record of bundle folders.
#include "PlatformUI/Bundles.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/Components.h"

struct __CFBundle {
    std::string identifier;
    std::string path;
};

namespace {

std::atomic<double> pictureScale{1.0};

}  // namespace

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef identifier) {
    if (!identifier) return nullptr;
    static std::mutex lock;
    static std::vector<std::unique_ptr<__CFBundle>> bundles;  // handed out for the life of the process
    const std::string id = CFStringGetUTF8(identifier);
    const std::string path = FindBundleLocation(id);
    if (path.empty()) return nullptr;
    std::lock_guard guard(lock);
    for (auto& b : bundles)
        if (b->identifier == id) {
            b->path = path;
            return b.get();
        }
    bundles.push_back(std::make_unique<__CFBundle>(__CFBundle{id, path}));
    return bundles.back().get();
}

CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef name, CFStringRef type, CFStringRef subDir) {
    if (!bundle || !name) return nullptr;
    namespace fs = std::filesystem;
    fs::path folder = fs::path(bundle->path) / "Contents" / "Resources";
    if (subDir) folder /= CFStringGetUTF8(subDir);
    std::string base = CFStringGetUTF8(name), extension;
    if (type) {
        extension = std::string(".") + CFStringGetUTF8(type);
    } else if (const size_t dot = base.rfind('.'); dot != std::string::npos && dot > 0) {
        extension = base.substr(dot);  // "knob.png": the scale goes before ".png"
        base.erase(dot);
    }
    // The picture made for the scale, else the next larger one (drawn smaller
    // stays sharp), else the plain one.
    std::vector<fs::path> candidates;
    const double scale = pictureScale.load();
    if (scale > 1.0 && scale <= 1.5) candidates.push_back(folder / (base + "@1.5x" + extension));
    if (scale > 1.0) candidates.push_back(folder / (base + "@2x" + extension));
    candidates.push_back(folder / (base + extension));
    std::error_code ec;
    for (const fs::path& p : candidates)
        if (fs::is_regular_file(p, ec)) return CFStringCreateWithCString(nullptr, p.c_str(), kCFStringEncodingUTF8);
    return nullptr;
}

void SetPictureScale(double scale) { pictureScale = scale >= 1.0 ? scale : 1.0; }

double GetPictureFileScale(const std::string& path) {
    const size_t at = path.rfind('@'), slash = path.rfind('/');
    if (at == std::string::npos || (slash != std::string::npos && at < slash)) return 1.0;
    return std::max(1.0, std::strtod(path.c_str() + at + 1, nullptr));
}
double GetPictureScale() { return pictureScale; }
