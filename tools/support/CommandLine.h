// The command-line conventions the tools share: options before, between and
// after the operands; "--" ends the options; "-" alone is an operand
// (standard input); an option that takes a value takes the next argument;
// -h and --help ask for help.
#ifndef H265TOOLS_COMMAND_LINE_H
#define H265TOOLS_COMMAND_LINE_H

#include <string>
#include <vector>

namespace h265tools {

class CommandLine {
public:
    explicit CommandLine(const std::vector<std::string>& args) : args_(args) {}

    enum class Item { kEnd, kOption, kOperand, kHelp };
    // The next argument: an option (in `text`, with its dashes), an operand,
    // or a request for help.
    Item Next(std::string& text);
    // The value of the option Next returned last. False, with "option 'X'
    // needs a value" in `error`, when no argument follows it.
    bool Value(std::string& value, std::string& error);

private:
    const std::vector<std::string>& args_;
    std::size_t next_ = 0;
    bool optionsEnded_ = false;
    std::string option_;
};

// "unknown option 'X'".
std::string UnknownOption(const std::string& option);

} // namespace h265tools

#endif
