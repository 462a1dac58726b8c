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
class OpenNoSymbols : public XParserContextNoSymbols {
public:
    explicit OpenNoSymbols(int xpressionContext = 1, int upgrade = 0) {
        m_xpressionContext = xpressionContext;
        m_isUpgrade = upgrade;
    }
    using XParserContext::initParserConfigsPv;
    using XParserContextNoSymbols::clearChildList;
    using XParserContextNoSymbols::getConfigDebugPrintLevel;
    using XParserContextNoSymbols::getConfigDecMaxPrecision;
    using XParserContextNoSymbols::getConfigIsAscii;
    using XParserContextNoSymbols::getConfigIsHighPrecision;
    int validatingMacro() const { return m_validatingMacro; }
};

// A caller with a configuration: each setting is present when given.
class ConfiguredContext : public XParserContextNoSymbols {
public:
    ConfiguredContext(int hasHighPrecision, int hasDecMax, int decMax)
        : m_hasHighPrecision(hasHighPrecision), m_hasDecMax(hasDecMax), m_decMax(decMax) {}
    using XParserContext::initParserConfigsPv;
    int otherCalls = 0;  // of the ASCII mode and the debug level

protected:
    int getConfigIsHighPrecision(int& value) override { return m_hasHighPrecision ? (value = 0) : 1; }  // the mode: off
    int getConfigDecMaxPrecision(int& value) override { return m_hasDecMax ? ((value = m_decMax), 0) : 1; }
    int getConfigIsAscii(int&) override { ++otherCalls; return -1; }
    int getConfigDebugPrintLevel(int&) override { ++otherCalls; return -1; }

private:
    int m_hasHighPrecision, m_hasDecMax, m_decMax;
};

// The decimal maximum is fixed by the first successful setting in a process;
// tests that set it start from and return to "not yet set".
class DecMaxGuard {
public:
    DecMaxGuard() : m_saved(XType::cls_xdtDecMax) { XType::cls_xdtDecMax = XType(); }
    ~DecMaxGuard() { XType::cls_xdtDecMax = m_saved; }

private:
    XType m_saved;
};

// Puts the process settings object back to "nothing set" for one test and
// restores what it held afterwards.
class ProcessSettingsGuard {
public:
    ProcessSettingsGuard() : m_process(QvCmnExprGlobal::getQvCmnExprGlobal()), m_saved(*m_process) {
        *m_process = QvCmnExprGlobal(m_process->getMode());
    }
    ~ProcessSettingsGuard() { *m_process = m_saved; }

private:
    QvCmnExprGlobal* m_process;
    QvCmnExprGlobal m_saved;
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
                       context.getCurrentWidgetAggLevel(), context.validatingMacro()}),
              "3005 1 0 0 0 1 0 0 0");
    context.setCurrentWidgetAggLevel(2);  // carried until reset
    EXPECT_EQ(context.getCurrentWidgetAggLevel(), 2);
    context.resetCurrentWidgetAggLevel();
    EXPECT_EQ(context.getCurrentWidgetAggLevel(), 0);
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
                       context.getConfigDebugPrintLevel(value), value}),
              "0 0 0 0 0 0 77 5 -1 -1 -1 -1 42");
    context.clearChildList();
    context.LogDebug(qvU("debug text \xC3\xA9"));
}

TEST(XParserContextNoSymbolsTest, EveryLookupFailsAndLeavesRecordsAlone) {
    XParserContextNoSymbols context;
    const QvUString name = qvU("PORT1"), qualifier = qvU("T1");
    const unsigned short* qualifiers[] = {qualifier.getBuffer(), nullptr};
    const unsigned short* n = name.getBuffer();
    QvUString err, warn;
    int isConst = 9;
    XMetadataPort port;
    XMetadata argument;
    XMetadata* arguments[] = {&argument, nullptr};
    XMetadataWidget widget;
    XMetadataMapVar mapVar;
    XMetadataWorkflowVar workflowVar;
    EXPECT_EQ(answers({context.findPort(qualifiers, n, &port, err, warn),
                       context.findWidget(qualifiers, n, arguments, &widget, err, warn),
                       context.findExtFunc(n, arguments, 1, &widget, isConst, err, warn),
                       context.findExtFunc(n, arguments, 0, &widget, isConst, err, warn),
                       context.pushdownExtFunc(n, arguments, 0, 0, 0, err, warn), context.findMapVar(n, &mapVar),
                       context.findWorkflowVar(n, &workflowVar), context.findType(n, n, nullptr, err, warn),
                       port.getDataType().toInteger(), widget.isRetPortMetadataSet(), isConst,
                       mapVar.getMapVarType() == eXMVT_UNINIT, err.length() + warn.length()}),
              "-1 -1 -1 -1 -1 -1 -1 -1 -1 0 9 1 0");
}

// ===== applying the configuration =====

TEST(XParserContextConfigTest, NoSymbolsChangesNothing) {
    DecMaxGuard guard;
    QvCmnExprGlobal global(1);
    EXPECT_EQ(OpenNoSymbols().initParserConfigsPv(&global), 0);
    // Not set reads as on.
    EXPECT_EQ(answers({global.getIsHighPrecisionModeForMyself(), XType::cls_xdtDecMax.isInitialized()}), "1 0");
}

// Each setting is applied when the caller has it and left alone when not;
// the ASCII mode and the debug level are not asked for. A decimal maximum
// that cannot be used fails, and the high-precision mode still applies.
TEST(XParserContextConfigTest, AppliesTheSettingsTheCallerHas) {
    // Has high precision, has decimal maximum, precision: status, mode after, maximum (0: unset).
    const int cases[][6] = {{1, 1, 18, 0, 0, 18}, {1, 0, 28, 0, 0, 0},   {0, 1, 28, 0, 1, 28}, {0, 0, 28, 0, 1, 0},
                            {1, 1, 29, -1, 0, 0}, {1, 1, 38, -1, 0, 0}, {1, 1, -1, -1, 0, 0}};
    for (const auto& [hasHighPrecision, hasDecMax, precision, status, mode, decMax] : cases) {
        DecMaxGuard guard;
        QvCmnExprGlobal global(1);
        ConfiguredContext context(hasHighPrecision, hasDecMax, precision);
        const int result = context.initParserConfigsPv(&global);
        const int set = XType::cls_xdtDecMax.isInitialized() ? XType::getDecMaxPrecision() : 0;
        EXPECT_EQ(answers({result, global.getIsHighPrecisionModeForMyself(), set, context.otherCalls}),
                  answers({status, mode, decMax, 0}))
            << hasHighPrecision << hasDecMax << precision;
    }
}

TEST(XParserContextConfigTest, FirstDecimalMaximumWins) {
    DecMaxGuard guard;
    QvCmnExprGlobal global(1);
    EXPECT_EQ(answers({ConfiguredContext(0, 1, 28).initParserConfigsPv(&global),
                       ConfiguredContext(0, 1, 18).initParserConfigsPv(&global)}),
              "0 0");
    EXPECT_EQ(XType::getDecMax().toInteger(), eXDT_DEC28);
}

TEST(XParserContextConfigTest, WithoutAnObjectTheProcessSettingsChange) {
    DecMaxGuard decMaxGuard;
    ProcessSettingsGuard settingsGuard;
    EXPECT_EQ(ConfiguredContext(1, 0, 0).initParserConfigsPv(nullptr), 0);
    EXPECT_EQ(XType::getIsHighPrecisionMode(), 0);
}
