// Terminal: what the console presenter needs to know about the standard streams, and a line read from
// standard input that gives up after a while.
//
// Stateless; any thread (only one thread should read standard input at a time).
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

enum class StandardStream { kInput = 0, kOutput = 1, kError = 2 };

// True when the stream is connected to a terminal.
bool IsTerminal(StandardStream stream);

// The width of the terminal the stream is connected to, in columns; 80 when it cannot be told.
int TerminalColumns(StandardStream stream);

enum class InputResult { kLine, kTimedOut, kClosed };

// Reads one line from standard input (without its line end) into line. Waits at most
// timeoutMilliseconds for the whole line (a negative value waits without limit). kTimedOut: the time
// ran out, line holds what was typed so far; kClosed: the input ended or failed before a line end.
// Reads byte by byte without buffering, so nothing beyond the line is taken from the input.
InputResult ReadInputLine(int64_t timeoutMilliseconds, std::string& line);

}  // namespace quillon
