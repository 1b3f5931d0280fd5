#include "CommandLine.h"

namespace h265tools {

CommandLine::Item CommandLine::Next(std::string& text) {
    while (next_ < args_.size()) {
        const std::string& arg = args_[next_++];
        if (optionsEnded_ || arg.size() < 2 || arg[0] != '-') {
            text = arg;
            return Item::kOperand;
        }
        if (arg == "--") {
            optionsEnded_ = true;
            continue;
        }
        if (arg == "--help" || arg == "-h")
            return Item::kHelp;
        option_ = arg;
        text = arg;
        return Item::kOption;
    }
    return Item::kEnd;
}

bool CommandLine::Value(std::string& value, std::string& error) {
    if (next_ == args_.size()) {
        error = "option '" + option_ + "' needs a value";
        return false;
    }
    value = args_[next_++];
    return true;
}

std::string UnknownOption(const std::string& option) {
    return "unknown option '" + option + "'";
}

} // namespace h265tools
