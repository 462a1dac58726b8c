// Command-line options of xexpr, one table row each: the option, its value,
// the group it belongs to, its help text and how it changes the invocation.
// The parser and every --help text are driven by the same table.
#include <cstdio>
#include <cstring>

#include "xexpr_command.h"

namespace xexpr {

namespace {

using ApplyFn = int (*)(Invocation&, const std::string& value, std::string& error);

struct OptionSpec {
    const char* name;
    const char* valueName;  // null: the option takes no value
    unsigned group;
    const char* help;
    ApplyFn apply;
};

int fail(std::string& error, std::string message) {
    error = std::move(message);
    return -1;
}

int setKind(Invocation& inv, int kind) {
    if (inv.context.kind && *inv.context.kind != kind) return -1;
    inv.context.kind = kind;
    return 0;
}

int kindOption(Invocation& inv, int kind, std::string& error) {
    if (setKind(inv, kind) != 0)
        return fail(error, "--transformation, --workflow and --either exclude each other");
    return 0;
}

const OptionSpec kOptions[] = {
    {"-f", "FILE", kGroupInput, "read expressions from FILE, one per line",
     [](Invocation& inv, const std::string& v, std::string&) {
         inv.inputs.push_back({InputSource::file, v});
         return 0;
     }},
    {"--catalog", "FILE", kGroupContext, "resolve names through the JSON catalog FILE",
     [](Invocation& inv, const std::string& v, std::string&) {
         inv.context.catalogPath = v;
         return 0;
     }},
    {"--transformation", nullptr, kGroupContext, "parse transformation expressions",
     [](Invocation& inv, const std::string&, std::string& e) { return kindOption(inv, 1, e); }},
    {"--workflow", nullptr, kGroupContext, "parse workflow expressions",
     [](Invocation& inv, const std::string&, std::string& e) { return kindOption(inv, 2, e); }},
    {"--either", nullptr, kGroupContext, "let each expression decide its kind",
     [](Invocation& inv, const std::string&, std::string& e) { return kindOption(inv, 3, e); }},
    {"--high-precision", "on|off", kGroupContext, "decimal arithmetic on or off",
     [](Invocation& inv, const std::string& v, std::string& e) {
         if (v != "on" && v != "off") return fail(e, "--high-precision takes on or off");
         inv.context.highPrecision = v == "on";
         return 0;
     }},
    {"--decimal-max", "18|28", kGroupContext, "the widest decimal precision",
     [](Invocation& inv, const std::string& v, std::string& e) {
         if (v != "18" && v != "28") return fail(e, "--decimal-max takes 18 or 28");
         inv.context.decimalMaxPrecision = std::stoi(v);
         return 0;
     }},
    {"--relax", nullptr, kGroupContext, "skip validation: check the syntax only",
     [](Invocation& inv, const std::string&, std::string&) {
         inv.context.relaxValidation = true;
         return 0;
     }},
    {"--allow-null-type", nullptr, kGroupContext, "let NULL operands keep the NULL type",
     [](Invocation& inv, const std::string&, std::string&) {
         inv.context.allowNullType = true;
         return 0;
     }},
    {"--upgrade", nullptr, kGroupContext, "parse as an upgrade from an older release",
     [](Invocation& inv, const std::string&, std::string&) {
         inv.context.upgrade = true;
         return 0;
     }},
    {"--ascii", nullptr, kGroupContext, "run as an 8-bit (ASCII) server",
     [](Invocation& inv, const std::string&, std::string&) {
         inv.context.ascii = true;
         return 0;
     }},
    {"--annotate", nullptr, kGroupFormat, "write each node's data type in front of it (i:5)",
     [](Invocation& inv, const std::string&, std::string&) {
         inv.annotate = true;
         return 0;
     }},
    {"--in-place", nullptr, kGroupRename,
     "replace each -f FILE atomically; nothing is written unless every line renames cleanly",
     [](Invocation& inv, const std::string&, std::string&) {
         inv.inPlace = true;
         return 0;
     }},
    {"--json", nullptr, kGroupOutput, "one JSON object per expression (JSON Lines)",
     [](Invocation& inv, const std::string&, std::string&) {
         inv.json = true;
         return 0;
     }},
};

const OptionSpec* findOption(const Command& command, const std::string& name) {
    for (const OptionSpec& option : kOptions) {
        if ((command.groups & option.group) && name == option.name) return &option;
    }
    return nullptr;
}

// Applies one option; `i` moves past a separate value.
int applyOption(const Command& command, int argc, char** argv, int& i, Invocation& inv,
                std::string& error) {
    std::string word = argv[i];
    std::string value;
    size_t equals = word.find('=');
    bool inlineValue = word.rfind("--", 0) == 0 && equals != std::string::npos;
    if (inlineValue) {
        value = word.substr(equals + 1);
        word = word.substr(0, equals);
    }
    const OptionSpec* option = findOption(command, word);
    if (!option)
        return fail(error, "unknown option " + word + " for " + command.name +
                               " (an expression that starts with - goes after --)");
    if (option->valueName && !inlineValue) {
        if (i + 1 >= argc) return fail(error, word + " needs a value: " + option->valueName);
        value = argv[++i];
    } else if (!option->valueName && inlineValue) {
        return fail(error, word + " takes no value");
    }
    return option->apply(inv, value, error);
}

void addOperand(Invocation& inv, const char* arg) {
    if (std::strcmp(arg, "-") == 0)
        inv.inputs.push_back({InputSource::standardInput, "-"});
    else
        inv.inputs.push_back({InputSource::argument, arg});
}

}  // namespace

int parseOptions(const Command& command, int argc, char** argv, Invocation& inv,
                 std::string& error) {
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        std::string word = argv[i];
        if (!optionsEnded && (word == "--help" || word == "-h")) {
            inv.help = true;
            return 0;
        }
        if (!optionsEnded && word == "--") {
            optionsEnded = true;
        } else if (optionsEnded || word == "-" || word.empty() || word[0] != '-') {
            if (!(command.groups & kGroupInput))
                return fail(error, command.name + std::string(" takes no expressions"));
            addOperand(inv, argv[i]);
        } else if (applyOption(command, argc, argv, i, inv, error) != 0) {
            return -1;
        }
    }
    if ((command.groups & kGroupInput) && inv.inputs.empty())
        return fail(error, "no expressions: give EXPR..., -f FILE or - (standard input)");
    return 0;
}

void printCommandHelp(const Command& command, const std::string& program) {
    std::printf("Usage: %s %s [options] %s\n\n%s\n", program.c_str(), command.name,
                command.operands, command.summary);
    if (command.details) std::printf("\n%s\n", command.details);
    std::printf("\nOptions:\n");
    for (const OptionSpec& option : kOptions) {
        if (!(command.groups & option.group)) continue;
        std::string head = option.name;
        if (option.valueName) head += std::string(" ") + option.valueName;
        std::printf("  %-24s %s\n", head.c_str(), option.help);
    }
    std::printf("  %-24s %s\n", "-h, --help", "show this help");
    if (command.groups & kGroupInput)
        std::printf(
            "\nA file (or standard input, -) holds one expression per line; blank lines\n"
            "and lines starting with # are skipped. Messages start with FILE:LINE:.\n"
            "Options given here override the catalog's settings.\n");
    std::printf(
        "\nExit status: 0 every expression is valid, 1 one is not, 2 usage,\n"
        "catalog or input-file error.\n");
}

void printProgramHelp(const std::string& program) {
    std::printf(
        "Usage: %s COMMAND [options] ...\n\nChecks expressions of the "
        "data-integration expression language.\n\nCommands:\n",
        program.c_str());
    for (const Command* command = kCommands; command->name; ++command) {
        // Later lines of a summary line up under its first.
        std::string summary = command->summary;
        for (size_t at = summary.find('\n'); at != std::string::npos; at = summary.find('\n', at + 1))
            summary.insert(at + 1, 13, ' ');
        std::printf("  %-10s %s\n", command->name, summary.c_str());
    }
    std::printf("\nRun '%s COMMAND --help' for the options of a command.\n", program.c_str());
}

}  // namespace xexpr
