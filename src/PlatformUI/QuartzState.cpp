// The Quartz calls that only change a context's state: alike in every backend.
#include <algorithm>
#include <cstring>

#include "PlatformUI/PlatformUIPrivate.h"

std::string platform_ui::textToUTF8(const char* text, size_t length) {
    std::string out;
    for (size_t i = 0; i < length && text[i]; ++i) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            out += char(b);
        } else {
            out += char(0xC0 | (b >> 6));
            out += char(0x80 | (b & 0x3F));
        }
    }
    return out;
}

void CGContextSetAlpha(CGContextRef c, CGFloat alpha) {
    platform_ui::quartzState(c).current.alpha = std::clamp(alpha, 0.0, 1.0);
}

void CGContextSetRGBFillColor(CGContextRef c, CGFloat r, CGFloat g, CGFloat b, CGFloat a) {
    double* fill = platform_ui::quartzState(c).current.fill;
    fill[0] = r;
    fill[1] = g;
    fill[2] = b;
    fill[3] = a;
}

void CGContextSelectFont(CGContextRef c, const char* name, CGFloat size, CGTextEncoding) {
    QuartzState::Graphics& g = platform_ui::quartzState(c).current;
    g.font = !name || std::strcmp(name, "Monaco") == 0 ? "DejaVu Sans Mono" : name;
    g.fontSize = size;
}

void CGContextSetTextDrawingMode(CGContextRef c, CGTextDrawingMode mode) {
    platform_ui::quartzState(c).current.textMode = mode;
}

CGPoint CGContextGetTextPosition(CGContextRef c) { return platform_ui::quartzState(c).textPosition; }
void CGContextSetTextPosition(CGContextRef c, CGFloat x, CGFloat y) {
    platform_ui::quartzState(c).textPosition = {x, y};
}
