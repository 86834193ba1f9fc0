// The command line as one text, the way the program was started on Windows, and the words taken from
// it one at a time. Stateless; any thread.
#pragma once

#include <string>
#include <vector>

namespace quillon {

// Joins arguments with single blanks into one command line text. An argument that is empty or holds a
// blank or a tab is put in double quotes, so that NextCommandLineWord gives it back as one word
// (an empty argument comes back as the empty word that ends the parsing).
std::string CommandLineFromArguments(const std::vector<std::string>& arguments);

// Takes the next word off the front of text and answers it: a text in double quotes without the
// quotes (up to the closing quote or the end), or a run of characters up to the next blank or tab.
// Blanks, tabs and line ends before the word are dropped. Empty when nothing is left.
std::string NextCommandLineWord(std::string& text);

}  // namespace quillon
