// Draws the panel's pictures with cairo, as vectors, at scales 1 (name.png),
// 1.5 (name@1.5x.png) and 2 (name@2x.png): the background with its sections
// and labels, the knob, displays, step buttons, the LED strip and the nine
// routing diagrams.
//
//   velmora_panel_art OUTPUT_FOLDER
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "ArtKit.h"
#include "PanelLabels.h"

namespace {

using namespace panel_art;
using namespace art;

// Text fitted into a box: as large as the box's height allows, smaller when too
// wide. Vertical text reads upwards, centred in the box, fitted to its width.
void text(cairo_t* cr, const Box& b, const char* s, Align align, Colour c, bool bold = true) {
    if (align == Align::vertical) {
        cairo_save(cr);
        cairo_translate(cr, b.x, b.y + b.h);
        cairo_rotate(cr, -M_PI / 2);
        text(cr, {0, 0, b.h, b.w}, s, Align::centre, c, bold);
        cairo_restore(cr);
        return;
    }
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    double size = b.h * 0.95;
    cairo_text_extents_t e;
    for (;; size -= 0.25) {
        cairo_set_font_size(cr, size);
        cairo_text_extents(cr, s, &e);
        if (e.x_advance <= b.w || size < 5) break;
    }
    cairo_font_extents_t f;
    cairo_font_extents(cr, &f);
    const double x = align == Align::centre ? b.x + (b.w - e.x_advance) / 2 : b.x;
    const double baseline = b.y + (b.h + f.ascent - f.descent) / 2;
    set(cr, c);
    cairo_move_to(cr, x, baseline);
    cairo_show_text(cr, s);
}

void background(cairo_t* cr) {
    set(cr, kGround);
    cairo_paint(cr);
    for (const Section& s : kSections) {
        roundedRect(cr, s.box.x + 0.5, s.box.y + 0.5, s.box.w - 1, s.box.h - 1, 6);
        set(cr, kPanel);
        cairo_fill_preserve(cr);
        set(cr, kEdge);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    }
    text(cr, {300, 18, 270, 30}, "VELMORA", Align::centre, kAccent);
    text(cr, {300, 50, 270, 12}, "monophonic table synthesizer", Align::centre, kDim, false);
    for (const Label& l : kLabels)
        text(cr, l.box, l.text, l.align, l.align == Align::left && l.box.h >= 11 ? kAccent : kInk);
}

// The knob's ground: a dark well and a scale from seven-thirty to four-thirty.
void knobBack(cairo_t* cr) {
    set(cr, kPanel);
    cairo_paint(cr);
    const double c = 24;
    cairo_set_line_width(cr, 1.2);
    set(cr, kDim);
    for (int i = 0; i <= 10; ++i) {
        const double a = (-135 + 27 * i) * M_PI / 180;  // clockwise from twelve
        const double inner = i % 5 == 0 ? 18.5 : 20;
        cairo_move_to(cr, c + inner * std::sin(a), c - inner * std::cos(a));
        cairo_line_to(cr, c + 23 * std::sin(a), c - 23 * std::cos(a));
        cairo_stroke(cr);
    }
    cairo_arc(cr, c, c, 17.5, 0, 2 * M_PI);
    set(cr, kGround);
    cairo_fill(cr);
}

// The turning face: a cap with a pointer at twelve, transparent around it.
void knobFace(cairo_t* cr) {
    const double c = 24;
    cairo_pattern_t* g = cairo_pattern_create_linear(0, 8, 0, 40);
    cairo_pattern_add_color_stop_rgb(g, 0, 0.46, 0.49, 0.53);
    cairo_pattern_add_color_stop_rgb(g, 1, 0.23, 0.25, 0.28);
    cairo_arc(cr, c, c, 15, 0, 2 * M_PI);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 3);
    set(cr, kAccent);
    cairo_move_to(cr, c, c - 4);
    cairo_line_to(cr, c, c - 14);
    cairo_stroke(cr);
}

Paint lcd(int w, int h) {
    return [w, h](cairo_t* cr) {
        set(cr, kPanel);
        cairo_paint(cr);
        roundedRect(cr, 0.5, 0.5, w - 1, h - 1, 3);
        set(cr, kLcd);
        cairo_fill_preserve(cr);
        set(cr, kEdge);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    };
}

void buttonBack(cairo_t* cr) {
    set(cr, kPanel);
    cairo_paint(cr);
    roundedRect(cr, 1.5, 1.5, 15, 15, 3);
    set(cr, kEdge);
    cairo_fill(cr);
}

Paint buttonSign(bool plus) {
    return [plus](cairo_t* cr) {
        set(cr, kInk);
        cairo_set_line_width(cr, 2);
        cairo_move_to(cr, 5, 9);
        cairo_line_to(cr, 13, 9);
        if (plus) {
            cairo_move_to(cr, 9, 5);
            cairo_line_to(cr, 9, 13);
        }
        cairo_stroke(cr);
    };
}

// Frame 0 (top) off, frame 1 on.
void miniLed(cairo_t* cr) {
    set(cr, kPanel);
    cairo_paint(cr);
    for (int frame = 0; frame < 2; ++frame) {
        cairo_arc(cr, 4, 4 + 8 * frame, 3.5, 0, 2 * M_PI);
        if (frame)
            cairo_set_source_rgb(cr, 0.35, 1.0, 0.45);
        else
            cairo_set_source_rgb(cr, 0.10, 0.22, 0.12);
        cairo_fill(cr);
    }
}

// One routing as a diagram: the oscillators, each path's operations, the mix,
// and what follows the mix, in the order the signal takes.
enum Op { G, S, F };
struct Routing {
    std::vector<Op> a, b, after;
};
const Routing kRoutings[9] = {
    {{F, S, G}, {F, S, G}, {}}, {{G, S, F}, {G, S, F}, {}}, {{F, G}, {F, G}, {S, S}},
    {{S, G}, {S, G}, {F, F}},   {{F, G}, {S, G}, {S, F}},   {{F, G}, {S, G}, {F, S}},
    {{G}, {G}, {F, S, F, S}},   {{G}, {G}, {S, F, S, F}},   {{G, S, F}, {G}, {S, F}},
};

// Filters and shapers are boxes naming themselves ("FA": filter A), gains are
// triangles; boxes are opaque and drawn over the wires, so no wire crosses a letter.
constexpr double kBoxWidth = 12, kBoxHeight = 11, kGainWidth = 8, kOpGap = 1;

double opWidth(Op op) { return op == G ? kGainWidth : kBoxWidth; }

double opsWidth(const std::vector<Op>& ops) {
    double w = 0;
    for (Op op : ops) w += opWidth(op) + kOpGap;
    return ops.empty() ? 0 : w - kOpGap;
}

void opBox(cairo_t* cr, double x, double y, Op op, char path) {
    if (op == G) {  // an amplifier's triangle
        cairo_move_to(cr, x, y - 4);
        cairo_line_to(cr, x + kGainWidth, y);
        cairo_line_to(cr, x, y + 4);
        cairo_close_path(cr);
        set(cr, kDim);
        cairo_fill(cr);
        return;
    }
    roundedRect(cr, x, y - kBoxHeight / 2, kBoxWidth, kBoxHeight, 1.5);
    if (op == F)
        cairo_set_source_rgb(cr, 0.36, 0.62, 0.95);
    else
        set(cr, kAccent);
    cairo_fill(cr);
    const char label[3] = {op == F ? 'F' : 'S', path, 0};
    cairo_select_font_face(cr, "DejaVu Sans Condensed", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 7.5);
    cairo_text_extents_t e;
    cairo_text_extents(cr, label, &e);
    cairo_set_source_rgb(cr, 0.03, 0.04, 0.05);
    cairo_move_to(cr, x + (kBoxWidth - e.x_advance) / 2, y + 2.7);
    cairo_show_text(cr, label);
}

Paint routing(int k) {
    return [k](cairo_t* cr) {
        lcd(100, 46)(cr);
        const Routing& r = kRoutings[k];
        const double yA = 12, yB = 34, yMix = 23, first = 14;
        // The mix sits right after the longer path; what follows it, after the mix.
        const double mixX = first + std::max(opsWidth(r.a), opsWidth(r.b)) + 7;
        cairo_set_line_width(cr, 1);
        set(cr, kLcdInk, 0.55);
        for (double y : {yA, yB}) {
            cairo_move_to(cr, 9, y);
            cairo_line_to(cr, mixX - 5, y);
            cairo_line_to(cr, mixX, yMix);
        }
        cairo_move_to(cr, mixX, yMix);
        cairo_line_to(cr, 94, yMix);
        cairo_stroke(cr);
        cairo_move_to(cr, 97, yMix);  // out
        cairo_line_to(cr, 92, yMix - 3);
        cairo_line_to(cr, 92, yMix + 3);
        cairo_close_path(cr);
        cairo_fill(cr);
        for (int path = 0; path < 2; ++path) {
            const double y = path ? yB : yA;
            cairo_arc(cr, 6, y, 5, 0, 2 * M_PI);
            set(cr, kLcdInk);
            cairo_fill(cr);
            cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
            cairo_set_font_size(cr, 7.5);
            cairo_text_extents_t e;
            cairo_text_extents(cr, path ? "2" : "1", &e);
            cairo_set_source_rgb(cr, 0.03, 0.04, 0.05);
            cairo_move_to(cr, 6 - e.x_advance / 2, y + 2.7);
            cairo_show_text(cr, path ? "2" : "1");
            double x = first;
            for (Op op : path ? r.b : r.a) {
                opBox(cr, x, y, op, path ? 'B' : 'A');
                x += opWidth(op) + kOpGap;
            }
        }
        // The mix, and the operations that follow it.
        cairo_arc(cr, mixX, yMix, 4.5, 0, 2 * M_PI);
        set(cr, kLcdInk);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0.03, 0.04, 0.05);
        cairo_set_line_width(cr, 1.2);
        cairo_move_to(cr, mixX - 2.5, yMix);
        cairo_line_to(cr, mixX + 2.5, yMix);
        cairo_move_to(cr, mixX, yMix - 2.5);
        cairo_line_to(cr, mixX, yMix + 2.5);
        cairo_stroke(cr);
        // After the mix, an operation is path A's unless path A already had its kind.
        double x = mixX + 7;
        std::vector<Op> used = r.a;
        for (Op op : r.after) {
            const bool ofA = std::find(used.begin(), used.end(), op) == used.end();
            used.push_back(op);
            opBox(cr, x, yMix, op, ofA ? 'A' : 'B');
            x += opWidth(op) + kOpGap;
        }
    };
}

void write(const std::string& folder, const char* name, int w, int h, const Paint& paint) {
    for (const char* suffix : {"", "@1.5x", "@2x"}) {
        const std::string path = folder + "/" + name + suffix + ".png";
        if (!writePng(path, w, h, *suffix ? std::atof(suffix + 1) : 1.0, paint)) {
            std::fprintf(stderr, "velmora_panel_art: cannot write %s\n", path.c_str());
            std::exit(1);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora_panel_art OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string out = argv[1];
    write(out, "tarv_back", kWidth, kHeight, background);
    write(out, "knob", 48, 48, knobFace);
    write(out, "knob_back", 48, 48, knobBack);
    write(out, "display_big", 100, 46, lcd(100, 46));
    write(out, "display_small", 56, 20, lcd(56, 20));
    for (int k = 0; k < 9; ++k) write(out, ("routing" + std::to_string(k)).c_str(), 100, 46, routing(k));
    write(out, "button_plus", 18, 18, buttonSign(true));
    write(out, "button_minus", 18, 18, buttonSign(false));
    write(out, "button_back", 18, 18, buttonBack);
    write(out, "miniled", 8, 16, miniLed);
    return 0;
}
