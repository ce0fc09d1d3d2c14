// The usage texts of velmora's commands.
#include "Usage.h"

namespace {

struct Synopsis {
    const char* command;
    const char* arguments;  // lines separated by '\n', each continuation indented under the first
};

constexpr Synopsis kSynopses[] = {
    {"render",
     "SONG.mid OUT.wav|OUT.flac|OUT.ogg|- [--preset N|NAME] [--state FILE.aupreset]\n"
     "[--set NAME|ID=VALUE]... [--at FRAME:NAME|ID=VALUE]... [--rate HZ] [--block FRAMES]\n"
     "[--channels 1|2] [--frames N] [--tail SECONDS] [--max-length SECONDS[s|m|h]]\n"
     "[--format float|24|16] [--force] [--strict] [--stats] [--verbose]"},
    {"state",
     "save OUT.aupreset|- [--preset N|NAME] [--state FILE.aupreset] [--set NAME|ID=VALUE]...\n"
     "[--force] [--verbose]"},
    {"edit",
     "[--preset N|NAME] [--state FILE.aupreset] [--save FILE.aupreset] [--scale S]\n"
     "[--knob-mode angle|linear] [--screenshot OUT.png] [--verbose]"},
    {"play",
     "[--preset N|NAME] [--state FILE.aupreset] [--save FILE.aupreset] [--scale S]\n"
     "[--knob-mode angle|linear] [--no-editor] [--connect PORT]... [--verbose]"},
    {"presets", "[--measure [--midi FILE | --sweep]]"},
    {"params", ""},
    {"help", "[COMMAND]"},
};

// "velmora COMMAND ARGUMENTS", continuation lines indented by `indent` plus the command's width.
std::string synopsis(const Synopsis& s, size_t indent) {
    const std::string head = std::string("velmora ") + s.command + (*s.arguments ? " " : "");
    const std::string margin(indent + head.size(), ' ');
    std::string text = head;
    for (const char* c = s.arguments; *c; ++c) text += *c == '\n' ? "\n" + margin : std::string(1, *c);
    return text + "\n";
}

}  // namespace

std::vector<std::string> commandNames() {
    std::vector<std::string> names;
    for (const Synopsis& s : kSynopses) names.emplace_back(s.command);
    return names;
}

std::string commandUsage(const std::string& command) {
    for (const Synopsis& s : kSynopses)
        if (command == s.command) return "usage: " + synopsis(s, 7);
    return {};
}

std::string allUsage() {
    std::string text = "usage:\n";
    for (const Synopsis& s : kSynopses) text += "  " + synopsis(s, 2);
    return text + "  velmora --version\n";
}
