#include "CommandLine.h"

#include <cstdlib>

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

bool ParseFrameRate(const std::string& text, double& fps) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos)
        return false;
    char* end = nullptr;
    fps = std::strtod(text.c_str(), &end);
    return *end == '\0' && fps > 0 && fps <= 1000;
}

} // namespace h265tools
