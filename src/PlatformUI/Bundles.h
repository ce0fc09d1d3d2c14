// Bundles and their resources: a bundle found by its identifier (the folder
// that the component registry loaded, or one registered by a program that
// links the component in), and the file URL of a resource in it.
#pragma once
#include <string>

#include "PlatformUI/CarbonTypes.h"

struct __CFBundle;
using CFBundleRef = __CFBundle*;
using CFURLRef = CFStringRef;  // a file URL, carried as its path

// Null when no bundle with the identifier is known. The bundle is never released.
CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef identifier);
// The resource's file in Contents/Resources, or null when there is none. `name`
// may carry the extension when `type` is null. With a picture scale above 1,
// name@1.5x.ext (up to 1.5) or name@2x.ext is preferred where it exists.
CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef name, CFStringRef type, CFStringRef subDir);

// The scale at which pictures are looked up (1, 1.5, 2); hosts set it to their
// window's scale before an editor loads its pictures.
void SetPictureScale(double scale);
double GetPictureScale();
// The scale a picture's file was made for: N for name@Nx.png, else 1.
double GetPictureFileScale(const std::string& path);
