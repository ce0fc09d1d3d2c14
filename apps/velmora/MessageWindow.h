// A small window of its own that shows why a command stopped, for a person who
// started it from the application menu and has no terminal to read.
#pragma once
#include <string>

// True when standard input, output or error is a terminal.
bool hasTerminal();

// Shows `heading` and `message` in a window titled `title` until it is closed
// (its close box, the Close button, Return or Escape). False when no X display
// can be opened.
bool showMessageWindow(const std::string& title, const std::string& heading, const std::string& message);
