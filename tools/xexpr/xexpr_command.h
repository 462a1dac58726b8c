// The commands of xexpr and what a command line asks of them. Each command
// is one row of the command table (xexpr_main.cpp): a name, a one-line
// summary, the option groups it accepts and the function that runs it. A
// new command (check, format, rename) is a new row and a run function; the
// option parser, the input reader, the context set-up and the reporting are
// shared.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace xexpr {

// Exit status of the program.
enum ExitStatus : int {
    kExitValid = 0,    // every expression is valid
    kExitInvalid = 1,  // at least one expression is not
    kExitUsage = 2,    // bad command line, catalog or input file
};

// Option groups a command may accept.
enum OptionGroup : unsigned {
    kGroupInput = 1u << 0,    // EXPR..., -f FILE, -
    kGroupContext = 1u << 1,  // --catalog and the settings that override it
    kGroupOutput = 1u << 2,   // --json
    kGroupFormat = 1u << 3,   // --annotate
    kGroupRename = 1u << 4,   // --in-place
};

// Where expressions come from, in command-line order.
struct InputSource {
    enum Kind { argument, file, standardInput } kind;
    std::string value;  // the expression, or the file name
};

// The catalog and settings a command line names; empty optionals leave the
// catalog's own setting in force.
struct ContextOptions {
    std::string catalogPath;
    std::optional<int> kind;  // expression-context bits 1, 2 or 3
    std::optional<bool> highPrecision;
    std::optional<int> decimalMaxPrecision;
    bool relaxValidation = false;
    bool allowNullType = false;
    bool upgrade = false;
    bool ascii = false;
};

struct Invocation {
    std::string program;  // argv[0]'s last component
    std::string command;
    std::vector<InputSource> inputs;
    ContextOptions context;
    bool json = false;
    bool help = false;
    bool annotate = false;  // format: each node's data type in front of it
    bool inPlace = false;   // rename: files are replaced, not printed
};

struct Command {
    const char* name;
    const char* summary;
    const char* operands;  // usage text after the options
    const char* details;   // further paragraphs of its --help, or null
    unsigned groups;
    int (*run)(const Invocation& invocation);
};

// The table of commands, ending with a row whose name is null.
extern const Command kCommands[];

// Fills `invocation` from the arguments after the command name. Returns 0,
// or -1 with `error` set.
int parseOptions(const Command& command, int argc, char** argv, Invocation& invocation,
                 std::string& error);
void printCommandHelp(const Command& command, const std::string& program);
void printProgramHelp(const std::string& program);

int runParse(const Invocation& invocation);
int runCheck(const Invocation& invocation);
int runTokens(const Invocation& invocation);
int runTree(const Invocation& invocation);
int runFormat(const Invocation& invocation);
int runRename(const Invocation& invocation);

}  // namespace xexpr
