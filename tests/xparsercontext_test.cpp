// The parser context: defaults of the base and of the context without
// symbols, the expression-context bits, and how the caller's configuration
// is applied to the library settings.
#include "qvcmnexpr/xparsercontext.h"

#include <gtest/gtest.h>

#include "qvcmnexpr/qvcmnexprglobal.h"
#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xtype.h"

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
    ConfiguredContext(int hasHighPrecision, int highPrecision, int hasDecMax, int decMax)
        : m_hasHighPrecision(hasHighPrecision),
          m_highPrecision(highPrecision),
          m_hasDecMax(hasDecMax),
          m_decMax(decMax) {}
    using XParserContext::initParserConfigsPv;
    int asciiCalls = 0;
    int debugLevelCalls = 0;

protected:
    int getConfigIsHighPrecision(int& value) override {
        if (!m_hasHighPrecision) return 1;
        value = m_highPrecision;
        return 0;
    }
    int getConfigDecMaxPrecision(int& value) override {
        if (!m_hasDecMax) return 1;
        value = m_decMax;
        return 0;
    }
    int getConfigIsAscii(int& value) override {
        ++asciiCalls;
        return XParserContextNoSymbols::getConfigIsAscii(value);
    }
    int getConfigDebugPrintLevel(int& value) override {
        ++debugLevelCalls;
        return XParserContextNoSymbols::getConfigDebugPrintLevel(value);
    }

private:
    int m_hasHighPrecision;
    int m_highPrecision;
    int m_hasDecMax;
    int m_decMax;
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
    ProcessSettingsGuard()
        : m_process(QvCmnExprGlobal::getQvCmnExprGlobal()), m_saved(*m_process) {
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

TEST(XParserContextTest, NewContextSettingsAndIdentity) {
    OpenNoSymbols context;
    const XParserContext& base = context;
    EXPECT_EQ(base.getClassId(), 3005);
    EXPECT_EQ(base.isClass(3005), 1);
    EXPECT_FALSE(base.isClass(3000) || base.isClass(1001));
    EXPECT_EQ(XParserContext::stc_isClass(3005), 1);
    EXPECT_EQ(XParserContext::stc_isClass(3004), 0);
    EXPECT_EQ(XParserContextNoSymbols().getXpressionContext(), 1);
    EXPECT_EQ(XParserContextNoSymbols().isUpgrade(), 0);
    EXPECT_EQ(context.getCurrentWidgetAggLevel(), 0);
    EXPECT_EQ(context.validatingMacro(), 0);
    context.setValidatingMacro(1);
    EXPECT_EQ(context.validatingMacro(), 1);
    context.setCurrentWidgetAggLevel(2);  // carried until reset
    EXPECT_EQ(context.getCurrentWidgetAggLevel(), 2);
    context.resetCurrentWidgetAggLevel();
    EXPECT_EQ(context.getCurrentWidgetAggLevel(), 0);
}

TEST(XParserContextTest, ExpressionContextBitsDecidePortReferences) {
    const int cases[][4] = {{1, 1, 0, 1}, {2, 0, 2, 0}, {3, 1, 2, 1}};  // context, mapping, workflow, ports
    for (const auto& [xpressionContext, mapping, workflow, portAllowed] : cases) {
        OpenNoSymbols context(xpressionContext);
        EXPECT_EQ(context.getIsMappingExpr(), mapping) << xpressionContext;
        EXPECT_EQ(context.getIsWorkflowExpr(), workflow) << xpressionContext;
        EXPECT_EQ(context.isPortAllowed(), portAllowed) << xpressionContext;
    }
}

TEST(XParserContextTest, CopiesTakeTheSettings) {
    OpenNoSymbols source(2, 1);
    source.setCurrentWidgetAggLevel(1);
    source.setValidatingMacro(1);
    OpenNoSymbols copy(source), assigned;
    assigned = source;
    for (const OpenNoSymbols* c : {&copy, &assigned}) {
        EXPECT_EQ(c->getXpressionContext(), 2);
        EXPECT_EQ(c->isUpgrade(), 1);
        EXPECT_EQ(c->getCurrentWidgetAggLevel(), 1);
        EXPECT_EQ(c->validatingMacro(), 1);
    }
}

// ===== the context without symbols =====

TEST(XParserContextNoSymbolsTest, NoRelaxationsNoConfigurationAndTheLexerFindsNothing) {
    OpenNoSymbols context;
    EXPECT_FALSE(context.isRelaxValidationSet() || context.isAllowNullTypeSet() || context.isExtAggFunc(qvU("myagg")));
    size_t length = 77;
    int value = 42, preDefined = 5;
    EXPECT_EQ(context.containsValidTokenMapVar(kText, 0, length), 0);
    EXPECT_EQ(context.containsValidTokenWflowVar(kText, 4, length, preDefined), 0);
    EXPECT_EQ(context.containsValidExtFunc(qvU("a")), 0);
    EXPECT_EQ(length, 77u);
    EXPECT_EQ(preDefined, 5);
    EXPECT_EQ(context.getConfigIsAscii(value), -1);
    EXPECT_EQ(context.getConfigIsHighPrecision(value), -1);
    EXPECT_EQ(context.getConfigDecMaxPrecision(value), -1);
    EXPECT_EQ(context.getConfigDebugPrintLevel(value), -1);
    EXPECT_EQ(value, 42);
    context.clearChildList();
    context.LogDebug(qvU("debug text \xC3\xA9"));
}

TEST(XParserContextNoSymbolsTest, EveryLookupFailsAndLeavesRecordsAlone) {
    XParserContextNoSymbols context;
    const QvUString name = qvU("PORT1");
    const QvUString qualifier = qvU("T1");
    const unsigned short* qualifiers[] = {qualifier.getBuffer(), nullptr};
    QvUString err;
    QvUString warn;
    int isConst = 9;
    XMetadataPort port;
    EXPECT_EQ(context.findPort(qualifiers, name.getBuffer(), &port, err, warn), -1);
    EXPECT_EQ(port.getDataType().toInteger(), -1);
    XMetadata argument;
    XMetadata* arguments[] = {&argument, nullptr};
    XMetadataWidget widget;
    EXPECT_EQ(context.findWidget(qualifiers, name.getBuffer(), arguments, &widget, err, warn), -1);
    EXPECT_EQ(context.findExtFunc(name.getBuffer(), arguments, 1, &widget, isConst, err, warn), -1);
    EXPECT_EQ(context.findExtFunc(name.getBuffer(), arguments, 0, &widget, isConst, err, warn), -1);
    EXPECT_EQ(context.pushdownExtFunc(name.getBuffer(), arguments, 0, 0, 0, err, warn), -1);
    EXPECT_EQ(widget.isRetPortMetadataSet(), 0);
    EXPECT_EQ(isConst, 9);
    XMetadataMapVar mapVar;
    EXPECT_EQ(context.findMapVar(name.getBuffer(), &mapVar), -1);
    EXPECT_EQ(mapVar.getMapVarType(), eXMVT_UNINIT);
    XMetadataWorkflowVar workflowVar;
    EXPECT_EQ(context.findWorkflowVar(name.getBuffer(), &workflowVar), -1);
    EXPECT_EQ(context.findType(name.getBuffer(), name.getBuffer(), nullptr, err, warn), -1);
    EXPECT_TRUE(err.isEmpty());
    EXPECT_TRUE(warn.isEmpty());
}

// ===== applying the configuration =====

TEST(XParserContextConfigTest, NoSymbolsChangesNothing) {
    DecMaxGuard guard;
    QvCmnExprGlobal global(1);
    OpenNoSymbols context;
    EXPECT_EQ(context.initParserConfigsPv(&global), 0);
    EXPECT_EQ(global.getIsHighPrecisionModeForMyself(), 1);  // not set reads as on
    EXPECT_FALSE(XType::cls_xdtDecMax.isInitialized());
}

// Each setting is applied when the caller has it and left alone when not;
// the ASCII mode and the debug level are not asked for.
TEST(XParserContextConfigTest, AppliesTheSettingsTheCallerHas) {
    const int cases[][5] = {  // has high precision, has decimal maximum, precision, mode after, maximum set
        {1, 1, 18, 0, 1}, {1, 0, 28, 0, 0}, {0, 1, 28, 1, 1}, {0, 0, 28, 1, 0}};
    for (const auto& [hasHighPrecision, hasDecMax, precision, mode, decMaxSet] : cases) {
        SCOPED_TRACE(testing::Message() << hasHighPrecision << hasDecMax);
        DecMaxGuard guard;
        QvCmnExprGlobal global(1);
        ConfiguredContext context(hasHighPrecision, 0, hasDecMax, precision);
        EXPECT_EQ(context.initParserConfigsPv(&global), 0);
        EXPECT_EQ(global.getIsHighPrecisionModeForMyself(), mode);
        EXPECT_EQ(XType::cls_xdtDecMax.isInitialized(), decMaxSet);
        if (decMaxSet) {
            EXPECT_EQ(XType::getDecMaxPrecision(), precision);
        }
        EXPECT_EQ(context.asciiCalls + context.debugLevelCalls, 0);
    }
}

TEST(XParserContextConfigTest, UnusableDecimalPrecisionFailsButHighPrecisionApplies) {
    for (int precision : {29, 38, -1}) {
        SCOPED_TRACE(precision);
        DecMaxGuard guard;
        QvCmnExprGlobal global(1);
        ConfiguredContext context(1, 0, 1, precision);
        EXPECT_EQ(context.initParserConfigsPv(&global), -1);
        EXPECT_EQ(global.getIsHighPrecisionModeForMyself(), 0);
        EXPECT_FALSE(XType::cls_xdtDecMax.isInitialized());
    }
}

TEST(XParserContextConfigTest, FirstDecimalMaximumWins) {
    DecMaxGuard guard;
    QvCmnExprGlobal global(1);
    ConfiguredContext first(0, 0, 1, 28);
    ConfiguredContext second(0, 0, 1, 18);
    EXPECT_EQ(first.initParserConfigsPv(&global), 0);
    EXPECT_EQ(second.initParserConfigsPv(&global), 0);
    EXPECT_EQ(XType::getDecMax().toInteger(), eXDT_DEC28);
}

TEST(XParserContextConfigTest, WithoutAnObjectTheProcessSettingsChange) {
    DecMaxGuard decMaxGuard;
    ProcessSettingsGuard settingsGuard;
    ConfiguredContext context(1, 0, 0, 0);
    EXPECT_EQ(context.initParserConfigsPv(nullptr), 0);
    EXPECT_EQ(XType::getIsHighPrecisionMode(), 0);
}
