#include "app/CommandLine.h"

std::optional<CommandLineAnswer> answerCommandLine(const std::vector<std::string>& arguments,
                                                   const std::string& name,
                                                   const std::string& version) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h")
            return CommandLineAnswer{
                "Usage: quorvel [--help | --version]\n"
                "Shows CPU and network graphs floating in a corner of the screen.\n"
                "Starting it while it runs opens the running copy's preferences.\n"
                "\n"
                "  -h, --help     show this help and exit\n"
                "      --version  show the version and exit\n"
                "\n"
                "Settings: ~/.config/Quorvel/Quorvel.conf\n",
                0};
        if (argument == "--version")
            return CommandLineAnswer{name + " " + version + "\n", 0};
    }
    return std::nullopt;
}
