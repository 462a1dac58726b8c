// xexpr format and xexpr rename end to end: the program is run as a separate
// process, and its output, its exit status and the files it rewrites are
// checked, also when the file it is to replace is read-only, missing or
// cannot be written in full.
#include <sys/stat.h>

#include "xexprrun.h"

namespace {

using namespace xexprrun;

const char* kCatalog = QVCMNEXPR_SOURCE_DIR "/examples/orders_catalog.json";

class XexprRenameTest : public Fixture {
protected:
    std::string file(const std::string& text) { return write("work/expressions.txt", text); }
    // The files in the work directory: a failed replacement leaves no
    // temporary file behind.
    size_t filesInWork() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir / "work"), fs::directory_iterator()));
    }
};

// ---------------------------------------------------------------- format and rename of arguments

// Each row: the command line, the exit status, standard output whole, words found on standard error.
struct Case { Args args; int status; const char* out; const char* errorWords = ""; };

TEST_F(XexprRenameTest, FormatWritesBackAndRenameRenamesReferencesAndNothingElse) {
    const Case cases[] = {
        {{"format", "--relax", "a+b*c -- note", "IIF(a>1,'x',  b)", "a.b[1]"}, 0,
         "<arg>:1: (a + (b * c))\n<arg>:2: IIF((a > 1),'x',b)\n<arg>:3: (a . b)[1]\n"},
        {{"format", "--catalog", kCatalog, "--annotate", "QUANTITY * 2 + 1"}, 0,
         "<arg>:1: d2:(d2:(i:QUANTITY * i:2) + i:1)\n"},
        {{"format", "--relax", "--json", "--", "-a"}, 0,
         "{\"source\":\"<arg>\",\"line\":1,\"text\":\"-a\",\"status\":0,\"valid\":true,\"errors\":[],"
         "\"warnings\":[],\"formatted\":\"-(a)\"}\n"},
        {{"format", "--relax", "a +"}, 1, "<arg>:1: ERROR: Syntax error. Expression: a + >>>>\n"},
        {{"rename", "a=alpha", "a + b*a"}, 0, "alpha + b*alpha\n"},
        {{"rename", "alpha=a", "beta=b", "alpha+  beta // alpha and beta"}, 0, "a+  b // alpha and beta\n"},
        {{"rename", "a=x", "'a' || a || 'a'"}, 0, "'a' || x || 'a'\n"},
        {{"rename", "A=x", ":SD.a + :a"}, 0, ":SD.x + :x\n"},
        {{"rename", "L=Lookup2", "P=Proc", ":LKP.L(a) + P(1) + :SP.P(2)"}, 0, ":LKP.Lookup2(a) + Proc(1) + :SP.Proc(2)\n"},
        {{"rename", "--catalog", kCatalog, "$$ORDER_COUNT=$$N", "$$ORDER_COUNT+QUANTITY"}, 0, "$$N+QUANTITY\n"},
        {{"rename", "b=c", "a.b + b"}, 0, "a.b + c\n"},
        // Pairs come first: after an expression, a=1 is one too.
        {{"rename", "a=b", "a <= 1", "a=1"}, 0, "b <= 1\nb=1\n"},
        {{"rename", "=b", "a"}, 2, "", "malformed pair"},
        {{"rename", "a=1x", "a"}, 2, "", "malformed pair"},
        {{"rename", "a=b", "A=c", "a"}, 2, "", "twice"},
        {{"rename", "a=b"}, 2, "", "no expressions"},
        {{"rename", "zz=y", "a=b", "a+1"}, 1, "b+1\n", "no expression refers to zz"},
        {{"rename", "a=b", "a +", "a"}, 1, "b\n", "<arg>:1: ERROR: Syntax error"},
        {{"rename", "--in-place", "a=b", "a"}, 2, "", "only -f FILE"},
        {{"rename", "--json", "a=b", "a+1"}, 0,
         "{\"source\":\"<arg>\",\"line\":1,\"text\":\"a+1\",\"valid\":true,\"errors\":[],\"renamed\":\"b+1\","
         "\"renames\":1}\n"},
    };
    for (const Case& c : cases) {
        const Finished r = run(c.args);
        std::string label;
        for (const std::string& arg : c.args) label += arg + " ";
        EXPECT_TRUE(r.status == c.status && r.out == c.out && r.err.find(c.errorWords) != std::string::npos)
            << label << r.status << "\n" << r.out << r.err;
    }
}

// ---------------------------------------------------------------- files

const char* kFile = "a + 1 // a stays\n# a comment line with a\n\r\nIIF(a,  'a', b)\r\nLENGTH(c)";
const char* kRenamed = "alpha + 1 // a stays\n# a comment line with a\n\r\nIIF(alpha,  'a', b)\r\nLENGTH(c)";

// A permission of the file survives its replacement.
TEST_F(XexprRenameTest, AFileComesBackWholeWithOnlyItsReferencesRenamed) {
    const std::string path = file(kFile);
    const Finished printed = run({"rename", "a=alpha", "-f", path});
    EXPECT_TRUE(printed.status == 0 && printed.out == kRenamed && readFile(path) == kFile) << printed.err;
    const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(path, perms);
    const Finished inPlace = run({"rename", "--in-place", "a=alpha", "-f", path});
    EXPECT_TRUE(inPlace.status == 0 && inPlace.out == path + ": 2 references renamed\n") << inPlace.out << inPlace.err;
    EXPECT_EQ(readFile(path), kRenamed);
    EXPECT_EQ(filesInWork(), 1u);
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, perms);
}

// Every way an in-place rename can fail leaves the file as it was.
// The line appended to the file, what happens to the file before the run, the shell's own commands first.
struct FailureCase { const char *name, *pair, *extraLine; void (*prepare)(const std::string& path); const char* shell;
                     int status; const char* errorWords; };

// Makes the file larger than the one block the full-disk case allows.
const std::string kLongComment = "\n# " + std::string(600, '-');

void makeReadOnly(const std::string& path) { fs::permissions(path, fs::perms::owner_read | fs::perms::group_read); }
void removeFile(const std::string& path) { fs::remove(path); }

TEST_F(XexprRenameTest, AFailedInPlaceRenameLeavesTheFileAsItWas) {
    const FailureCase cases[] = {
        {"a syntax error", "a=alpha", "\nIIF(a,", nullptr, "", 1, "Syntax error"},
        {"an unknown name", "zz=alpha", "", nullptr, "", 1, "no expression refers to zz"},
        {"a read-only file", "a=alpha", "", &makeReadOnly, "", 2, "read-only"},
        {"a vanished file", "a=alpha", "", &removeFile, "", 2, "cannot read"},
        // A file size limit stands in for a full disk: the write of the
        // temporary file fails part way.
        {"a full disk", "a=alpha", kLongComment.c_str(), nullptr, "trap '' XFSZ; ulimit -f 1; ", 2, "cannot write"},
    };
    for (const FailureCase& c : cases) {
        const std::string original = std::string(kFile) + c.extraLine, path = file(original);
        if (c.prepare) c.prepare(path);
        const Finished r = run({"rename", "--in-place", c.pair, "-f", path}, nullptr, c.shell);
        EXPECT_TRUE(r.status == c.status && r.err.find(c.errorWords) != std::string::npos) << c.name << r.err;
        if (c.prepare != &removeFile) { EXPECT_EQ(readFile(path), original) << c.name; }
        EXPECT_EQ(filesInWork(), c.prepare == &removeFile ? 0u : 1u) << c.name;
        if (fs::exists(path)) fs::permissions(path, fs::perms::owner_all);
        fs::remove(path);
    }
}

}  // namespace
