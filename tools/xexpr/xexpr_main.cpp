// xexpr: checks expressions of the data-integration expression language in
// bulk from the command line. This file holds the command table and the
// dispatch; each command lives in its own file.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "xexpr_command.h"
#include "xexpr_input.h"

namespace xexpr {

// parse and check validate alike and exit alike; they differ in what they
// print. parse stays beside check rather than becoming its alias because
// scripts read its one line per expression.
const char kValidationNote[] =
    "parse and check both run the syntax check and the validation (names resolved\n"
    "through the catalog, every operator and function typed); they differ only in\n"
    "what they print. Each expression is validated on its own: the aggregation\n"
    "level of one does not constrain the next. Forms this release cannot validate\n"
    "yet fail with \"This form cannot be validated by this release of the\n"
    "library.\" (with check --json, \"notValidatedYet\": true).";

const Command kCommands[] = {
    {"parse",
     "Parse and validate each expression; print ok and its result type,\n"
     "or its messages (terse).",
     "(EXPR... | -f FILE | -)", kValidationNote, kGroupInput | kGroupContext | kGroupOutput,
     &runParse},
    {"check",
     "Validate each expression and describe it: result type, precision,\n"
     "scale, aggregation level, constness and warnings, or its messages\n"
     "with the offending text underlined.",
     "(EXPR... | -f FILE | -)", kValidationNote, kGroupInput | kGroupContext | kGroupOutput,
     &runCheck},
    {"tokens", "Print the tokens of each expression with their names, positions and values.",
     "(EXPR... | -f FILE | -)", nullptr, kGroupInput | kGroupContext | kGroupOutput, &runTokens},
    {"tree",
     "Print the syntax tree of each valid expression, one node per line,\n"
     "with what validation decided about each node.",
     "(EXPR... | -f FILE | -)",
     "Each node shows its kind, position and leaf text, then, once validated: type, scale,\n"
     "augType (the common type of compared operands), expects (what its parent expects\n"
     "of it), result (the rule that typed it), variant (the operation the evaluator\n"
     "runs), aggLevel, constant and chars (the longest text it can yield).",
     kGroupInput | kGroupContext | kGroupOutput, &runTree},
    {"format", "Write each expression back as normalised text: operations parenthesised, calls as F(a,b).",
     "(EXPR... | -f FILE | -)", nullptr, kGroupInput | kGroupContext | kGroupOutput | kGroupFormat,
     &runFormat},
    {"rename",
     "Rename ports, variables and called objects, keeping spacing and comments\n"
     "(pairs first; write a=b as a = b).",
     "OLD=NEW... (EXPR... | -f FILE | -)", nullptr,
     kGroupInput | kGroupContext | kGroupOutput | kGroupRename, &runRename},
    {nullptr, nullptr, nullptr, nullptr, 0, nullptr},
};

namespace {

const Command* findCommand(const char* name) {
    for (const Command* command = kCommands; command->name; ++command) {
        if (std::strcmp(command->name, name) == 0) return command;
    }
    return nullptr;
}

std::string baseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

int usageError(const std::string& program, const std::string& message, const char* command) {
    std::fprintf(stderr, "%s: error: %s\nTry '%s %s--help'.\n", program.c_str(), message.c_str(),
                 program.c_str(), command ? (std::string(command) + " ").c_str() : "");
    return kExitUsage;
}

int run(int argc, char** argv) {
    std::string program = argc > 0 ? baseName(argv[0]) : "xexpr";
    if (argc < 2) return usageError(program, "no command given", nullptr);
    const char* name = argv[1];
    if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0 ||
        std::strcmp(name, "help") == 0) {
        const Command* topic = argc > 2 ? findCommand(argv[2]) : nullptr;
        if (topic)
            printCommandHelp(*topic, program);
        else
            printProgramHelp(program);
        return kExitValid;
    }
    const Command* command = findCommand(name);
    if (!command) return usageError(program, std::string("unknown command ") + name, nullptr);
    Invocation invocation;
    invocation.program = program;
    invocation.command = command->name;
    std::string error;
    if (parseOptions(*command, argc - 2, argv + 2, invocation, error) != 0)
        return usageError(program, error, command->name);
    if (invocation.help) {
        printCommandHelp(*command, program);
        return kExitValid;
    }
    return command->run(invocation);
}

}  // namespace

}  // namespace xexpr

int main(int argc, char** argv) {
    xexpr::noteClosedStandardInput();
    int status = xexpr::kExitUsage;
    try {
        status = xexpr::run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "xexpr: error: %s\n", e.what());
    }
    // Help text too: output that never arrived is a failure. (A run that
    // already failed has said why.)
    if (status != xexpr::kExitUsage && (std::fflush(stdout) != 0 || std::ferror(stdout))) {
        std::fprintf(stderr, "xexpr: error: cannot write the output: %s\n", std::strerror(errno));
        return xexpr::kExitUsage;
    }
    return status;
}
