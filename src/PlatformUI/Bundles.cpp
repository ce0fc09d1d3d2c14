// Bundles found through the component registry's record of bundle folders.
#include "PlatformUI/Bundles.h"

#include <atomic>
#include <cmath>
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
    const std::string base = CFStringGetUTF8(name);
    const std::string extension = type ? std::string(".") + CFStringGetUTF8(type) : std::string();
    std::vector<fs::path> candidates;
    if (const int scale = int(std::lround(pictureScale.load())); scale > 1)
        candidates.push_back(folder / (base + "@" + std::to_string(scale) + "x" + extension));
    candidates.push_back(folder / (base + extension));
    std::error_code ec;
    for (const fs::path& p : candidates)
        if (fs::is_regular_file(p, ec)) return CFStringCreateWithCString(nullptr, p.c_str(), kCFStringEncodingUTF8);
    return nullptr;
}

void SetPictureScale(double scale) { pictureScale = scale >= 1.0 ? scale : 1.0; }
double GetPictureScale() { return pictureScale; }
