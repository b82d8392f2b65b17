#pragma once

#include <optional>
#include <string>
#include <vector>

// Answers --help and --version the way command-line programs do: the text for
// standard output and exit status 0. nullopt for anything else, which the
// program (and Qt's own options) go on with.
struct CommandLineAnswer {
    std::string text;
    int exitStatus = 0;
};

std::optional<CommandLineAnswer> answerCommandLine(const std::vector<std::string>& arguments,
                                                   const std::string& name,
                                                   const std::string& version);
