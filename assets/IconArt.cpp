// Draws the application icon with cairo, at every size a desktop's menu asks
// for: the panel's knob, turned up, on a tile in the panel's colours.
//
//   velmora_icon_art OUTPUT_FOLDER   (writes OUTPUT_FOLDER/hicolor/NxN/apps/velmora.png)
#include <cstdio>
#include <filesystem>
#include <string>

#include "ArtKit.h"

namespace {

using namespace art;

// Clockwise from twelve, in degrees, to cairo's angle.
double angle(double degrees) { return (degrees - 90) * M_PI / 180; }

// On a 256-unit square.
void icon(cairo_t* cr) {
    const double y = 8, h = 240;
    roundedRect(cr, 8, y, 240, h, 44);
    cairo_pattern_t* tile = cairo_pattern_create_linear(0, y, 0, y + h);
    cairo_pattern_add_color_stop_rgb(tile, 0, kPanel.r, kPanel.g, kPanel.b);
    cairo_pattern_add_color_stop_rgb(tile, 1, kGround.r, kGround.g, kGround.b);
    cairo_set_source(cr, tile);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(tile);
    set(cr, kEdge);
    cairo_set_line_width(cr, 6);
    cairo_stroke(cr);

    // The knob's scale, seven-thirty to four-thirty, lit up to two o'clock.
    const double c = 128, ring = 88;
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 18);
    set(cr, kDim);
    cairo_arc(cr, c, c, ring, angle(-135), angle(135));
    cairo_stroke(cr);
    set(cr, kAccent);
    cairo_arc(cr, c, c, ring, angle(-135), angle(60));
    cairo_stroke(cr);

    // The cap and its pointer.
    cairo_pattern_t* cap = cairo_pattern_create_linear(0, c - 62, 0, c + 62);
    cairo_pattern_add_color_stop_rgb(cap, 0, 0.46, 0.49, 0.53);
    cairo_pattern_add_color_stop_rgb(cap, 1, 0.23, 0.25, 0.28);
    cairo_arc(cr, c, c, 62, 0, 2 * M_PI);
    cairo_set_source(cr, cap);
    cairo_fill(cr);
    cairo_pattern_destroy(cap);
    set(cr, kAccent);
    cairo_set_line_width(cr, 16);
    cairo_move_to(cr, c + 16 * std::cos(angle(60)), c + 16 * std::sin(angle(60)));
    cairo_line_to(cr, c + 52 * std::cos(angle(60)), c + 52 * std::sin(angle(60)));
    cairo_stroke(cr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora_icon_art OUTPUT_FOLDER\n");
        return 2;
    }
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const std::string folder =
            std::string(argv[1]) + "/hicolor/" + std::to_string(size) + "x" + std::to_string(size) + "/apps";
        std::filesystem::create_directories(folder);
        const std::string path = folder + "/velmora.png";
        const bool written = writePng(path, 256, 256, size / 256.0, icon);
        if (!written) {
            std::fprintf(stderr, "velmora_icon_art: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
