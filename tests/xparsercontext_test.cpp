// The parser context: defaults of the base and of the context without
// symbols, the expression-context bits, and how the caller's configuration
// is applied to the library settings.
#include "qvcmnexpr/xparsercontext.h"

#include <gtest/gtest.h>

#include "qvcmnexpr/qvcmnexprglobal.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xtype.h"
#include "xrecordtext.h"

namespace {

// The no-symbols context with its protected part open and a given kind of
// expression; it keeps every default the base class offers.
struct OpenNoSymbols : XParserContextNoSymbols {
    explicit OpenNoSymbols(int xpressionContext = 1) { m_xpressionContext = xpressionContext; }
    using XParserContextNoSymbols::clearChildList;
    using XParserContextNoSymbols::getConfigDebugPrintLevel, XParserContextNoSymbols::getConfigDecMaxPrecision;
    using XParserContextNoSymbols::getConfigIsAscii, XParserContextNoSymbols::getConfigIsHighPrecision;
    int validatingMacro() const { return m_validatingMacro; }
};

// A caller with a configuration: each setting is present when given.
struct ConfiguredContext : XParserContextNoSymbols {
    ConfiguredContext(int hasHighPrecision, int hasDecMax, int decMax) : has{hasHighPrecision, hasDecMax, decMax} {}
    using XParserContext::initParserConfigsPv;
    int getConfigIsHighPrecision(int& value) override { return has[0] ? (value = 0) : 1; }  // the mode: off
    int getConfigDecMaxPrecision(int& value) override { return has[1] ? ((value = has[2]), 0) : 1; }
    int getConfigIsAscii(int&) override { return ++otherCalls, -1; }
    int getConfigDebugPrintLevel(int&) override { return ++otherCalls, -1; }
    int has[3];
    int otherCalls = 0;  // of the ASCII mode and the debug level
};

// The decimal maximum is fixed by the first successful setting in a process;
// tests that set it start from and return to "not yet set".
struct DecMaxGuard {
    DecMaxGuard() : saved(XType::cls_xdtDecMax) { XType::cls_xdtDecMax = XType(); }
    ~DecMaxGuard() { XType::cls_xdtDecMax = saved; }
    XType saved;
};

// Puts the process settings object back to "nothing set" for one test and
// restores what it held afterwards.
struct ProcessSettingsGuard {
    ProcessSettingsGuard() : saved(*process) { *process = QvCmnExprGlobal(process->getMode()); }
    ~ProcessSettingsGuard() { *process = saved; }
    QvCmnExprGlobal* process = QvCmnExprGlobal::getQvCmnExprGlobal();
    QvCmnExprGlobal saved;
};

const QvUString kText = qvU("a + b");

}  // namespace

// ===== identity and plain settings =====

using xtestsupport::answers;

TEST(XParserContextTest, NewContextSettingsAndIdentity) {
    OpenNoSymbols context;
    const XParserContext& base = context;
    EXPECT_EQ(answers({base.getClassId(), base.isClass(3005), base.isClass(3000), base.isClass(1001),
                       XParserContext::stc_isClass(3004), context.getXpressionContext(), context.isUpgrade(),
                       context.getCurrentWidgetAggLevel(), context.validatingMacro()}), "3005 1 0 0 0 1 0 0 0");
}

TEST(XParserContextTest, ExpressionContextBitsDecidePortReferences) {
    for (auto [xpressionContext, expected] : {std::pair{1, "1 0 1"}, {2, "0 2 0"}, {3, "1 2 1"}}) {
        OpenNoSymbols context(xpressionContext);
        EXPECT_EQ(answers({context.getIsMappingExpr(), context.getIsWorkflowExpr(), context.isPortAllowed()}), expected)
            << xpressionContext;
    }
}

// ===== the context without symbols =====

TEST(XParserContextNoSymbolsTest, NoRelaxationsNoConfigurationAndTheLexerFindsNothing) {
    OpenNoSymbols context;
    size_t length = 77;
    int value = 42, preDefined = 5;
    EXPECT_EQ(answers({context.isRelaxValidationSet(), context.isAllowNullTypeSet(), context.isExtAggFunc(qvU("myagg")),
                       context.containsValidTokenMapVar(kText, 0, length),
                       context.containsValidTokenWflowVar(kText, 4, length, preDefined),
                       context.containsValidExtFunc(qvU("a")), length, preDefined, context.getConfigIsAscii(value),
                       context.getConfigIsHighPrecision(value), context.getConfigDecMaxPrecision(value),
                       context.getConfigDebugPrintLevel(value), value}), "0 0 0 0 0 0 77 5 -1 -1 -1 -1 42");
    context.clearChildList();
    context.LogDebug(qvU("debug text \xC3\xA9"));
}

TEST(XParserContextNoSymbolsTest, EveryLookupFails) {
    XParserContextNoSymbols context;
    const unsigned short n[] = {'P', 0};
    QvUString err, warn;
    int isConst = 9;
    EXPECT_EQ(answers({context.findPort(nullptr, n, nullptr, err, warn),
                       context.findWidget(nullptr, n, nullptr, nullptr, err, warn),
                       context.findExtFunc(n, nullptr, 1, nullptr, isConst, err, warn),
                       context.pushdownExtFunc(n, nullptr, 0, 0, 0, err, warn), context.findMapVar(n, nullptr),
                       context.findWorkflowVar(n, nullptr), context.findType(n, n, nullptr, err, warn), isConst,
                       err.length() + warn.length()}), "-1 -1 -1 -1 -1 -1 -1 9 0");
}

// ===== applying the configuration =====

// Each setting is applied when the caller has it and left alone when not;
// the ASCII mode and the debug level are not asked for. A decimal maximum
// that cannot be used fails, and the high-precision mode still applies.
TEST(XParserContextConfigTest, AppliesTheSettingsTheCallerHas) {
    // Has high precision, has decimal maximum, precision: status, mode after, maximum (0: unset). A
    // caller with neither (as the context without symbols) leaves the mode on, which is what not set reads as.
    const int cases[][6] = {{1, 1, 18, 0, 0, 18}, {1, 0, 28, 0, 0, 0},   {0, 1, 28, 0, 1, 28}, {0, 0, 28, 0, 1, 0},
                            {1, 1, 29, -1, 0, 0}, {1, 1, 38, -1, 0, 0}, {1, 1, -1, -1, 0, 0}};
    for (const auto& [hasHighPrecision, hasDecMax, precision, status, mode, decMax] : cases) {
        DecMaxGuard guard;
        QvCmnExprGlobal global(1);
        ConfiguredContext context(hasHighPrecision, hasDecMax, precision);
        const int result = context.initParserConfigsPv(&global);
        const int set = XType::cls_xdtDecMax.isInitialized() ? XType::getDecMaxPrecision() : 0;
        EXPECT_EQ(answers({result, global.getIsHighPrecisionModeForMyself(), set, context.otherCalls}),
                  answers({status, mode, decMax, 0})) << hasHighPrecision << hasDecMax << precision;
    }
}

TEST(XParserContextConfigTest, FirstDecimalMaximumWins) {
    DecMaxGuard guard;
    QvCmnExprGlobal global(1);
    for (int precision : {28, 18}) EXPECT_EQ(ConfiguredContext(0, 1, precision).initParserConfigsPv(&global), 0);
    EXPECT_EQ(XType::getDecMax().toInteger(), eXDT_DEC28);
}

TEST(XParserContextConfigTest, WithoutAnObjectTheProcessSettingsChange) {
    DecMaxGuard decMaxGuard;
    ProcessSettingsGuard settingsGuard;
    EXPECT_EQ(ConfiguredContext(1, 0, 0).initParserConfigsPv(nullptr), 0);
    EXPECT_EQ(XType::getIsHighPrecisionMode(), 0);
}
