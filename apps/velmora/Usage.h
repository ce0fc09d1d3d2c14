// The usage texts of velmora's commands: one source for `velmora help`, each
// command's usage errors (in the program and in the editor library) and the
// man page's test, which reads them from `velmora help COMMAND`.
#pragma once
#include <string>
#include <vector>

// The commands, in the order `velmora help` lists them.
std::vector<std::string> commandNames();

// "usage: velmora edit [--preset N|NAME] ...", lines ending in '\n'; empty for an unknown command.
std::string commandUsage(const std::string& command);

// Every command's synopsis, and `velmora --version`.
std::string allUsage();
