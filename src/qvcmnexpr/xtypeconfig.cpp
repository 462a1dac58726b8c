// Hierarchical type descriptions: sameness, validity, cycles, map search and
// member lookup. A description may be deep or refer back to itself, and it
// comes from the caller's catalog, so every walk keeps its own work list and
// visited set instead of recursing: its cost is the size of the graph, its
// stack use constant.
#include "qvcmnexpr/xtypeconfig.h"

#include <set>
#include <string>
#include <tuple>
#include <utility>

#include "qvcmnasrt.h"
#include "qvutils.h"

namespace {

constexpr const char* kUnit = "xtypeconfig";

// A description is identified by its structure when it is a struct (several
// configurations may name one structure), else by itself.
const void* keyOf(const XTypeConfig* config, const XComplexType* structure) {
    return structure ? static_cast<const void*>(structure) : static_cast<const void*>(config);
}

int isHierarchical(const XStructuralFeature* feature) { return feature->getType().isHType(); }

int sameKind(const XTypeConfig& a, const XTypeConfig& b) {
    return a.isStructType() == b.isStructType() && a.isArrayType() == b.isArrayType() &&
           a.isMapType() == b.isMapType();
}

int namesEqualIgnoringCase(const QvUString& a, const unsigned short* b) {
    return b && qvUStricmp(a.getBuffer(), b) == 0;
}

std::shared_ptr<XTypeConfig> takeConfig(std::shared_ptr<XTypeConfig>& slot) { return std::move(slot); }

}  // namespace

// ===== the host's hierarchical type ids =====

namespace {

constexpr const char* kKinds[] = {"datatype.htype.struct", "datatype.htype.array",
                                  "datatype.htype.map"};

XType idOf(const char* kind) {
    std::string identifier(gsQvTypeNamespace);
    identifier += kind;
    return XType(CustomSDKMgr::getInstance()->getCustomTypeId(identifier.c_str()));
}

}  // namespace

int XTypeConfig::registerHierarchicalTypes() {
    int result = 0;
    for (const char* kind : kKinds) {
        if (idOf(kind).toInteger() != 0) continue;
        const std::string identifier = std::string(gsQvTypeNamespace) + kind;
        QvCustomTypeDef def;
        def.name = identifier.c_str();
        def.valueSize = sizeof(void*);
        if (CustomSDKMgr::getInstance()->registerCustomType(def) < 0) result = -1;
    }
    return result;
}

XType XTypeConfig::getStructTypeId() { return idOf(kKinds[0]); }
XType XTypeConfig::getArrayTypeId() { return idOf(kKinds[1]); }
XType XTypeConfig::getMapTypeId() { return idOf(kKinds[2]); }

// ===== the base: cached front ends and the walks =====

XTypeConfig::XTypeConfig(const XTypeConfig&) {}

XTypeConfig& XTypeConfig::operator=(const XTypeConfig&) {
    m_cyclicState.store(0);
    m_validState.store(0);
    return *this;
}

XTypeConfig::~XTypeConfig() = default;

// Every reachable configuration must be complete, and every hierarchical
// definition must have one. A structure already met (or given by the caller)
// is not checked again: a recursive reference does not make a type invalid.
int XTypeConfig::isValid(XVisitedStructures* visited) const {
    if (const int known = m_validState.load(std::memory_order_acquire)) return known - 1;
    std::unordered_set<const void*> seen;
    if (visited) seen.insert(visited->begin(), visited->end());
    std::vector<const XTypeConfig*> pending{this};
    std::vector<const XStructuralFeature*> definitions;
    int valid = 1;
    while (valid && !pending.empty()) {
        const XTypeConfig* config = pending.back();
        pending.pop_back();
        if (config != this) {
            if (const int known = config->m_validState.load(std::memory_order_acquire)) {
                valid = known - 1;
                continue;
            }
        }
        if (!config->isShapeValid()) {
            valid = 0;
            break;
        }
        if (!seen.insert(keyOf(config, config->getStructureOrNull())).second) continue;
        definitions.clear();
        config->getDefinitions(definitions);
        for (const XStructuralFeature* feature : definitions) {
            if (!isHierarchical(feature)) continue;
            if (!feature->getTypeConfig()) {
                valid = 0;
                break;
            }
            pending.push_back(feature->getTypeConfig());
        }
    }
    m_validState.store(valid + 1, std::memory_order_release);
    return valid;
}

// A depth-first walk: a structure met again while it is still on the path
// closes a cycle; one met again after it was finished (a sibling sharing a
// sub-structure) does not.
int XTypeConfig::isCyclic(XVisitedStructures* visited) const {
    if (const int known = m_cyclicState.load(std::memory_order_acquire)) return known - 1;
    struct Frame {
        const void* key;
        std::vector<const XTypeConfig*> children;
        size_t next = 0;
    };
    std::unordered_set<const void*> onPath;
    if (visited) onPath.insert(visited->begin(), visited->end());
    std::unordered_set<const void*> finished;
    std::vector<Frame> path;
    std::vector<const XStructuralFeature*> definitions;

    auto enter = [&](const XTypeConfig* config) -> int {
        const void* key = keyOf(config, config->getStructureOrNull());
        if (onPath.count(key)) return 1;
        if (finished.count(key)) return 0;
        if (config != this) {
            if (const int known = config->m_cyclicState.load(std::memory_order_acquire)) {
                if (known - 1) return 1;
                finished.insert(key);
                return 0;
            }
        }
        Frame frame{key, {}, 0};
        definitions.clear();
        config->getDefinitions(definitions);
        for (const XStructuralFeature* feature : definitions) {
            if (isHierarchical(feature) && feature->getTypeConfig()) {
                frame.children.push_back(feature->getTypeConfig());
            }
        }
        onPath.insert(key);
        path.push_back(std::move(frame));
        return 0;
    };

    int cyclic = enter(this);
    while (!cyclic && !path.empty()) {
        Frame& top = path.back();
        if (top.next == top.children.size()) {
            onPath.erase(top.key);
            finished.insert(top.key);
            path.pop_back();
            continue;
        }
        cyclic = enter(top.children[top.next++]);
    }
    m_cyclicState.store(cyclic + 1, std::memory_order_release);
    return cyclic;
}

int XTypeConfig::containsMap() const {
    std::unordered_set<const void*> seen;
    std::vector<const XTypeConfig*> pending{this};
    std::vector<const XStructuralFeature*> definitions;
    while (!pending.empty()) {
        const XTypeConfig* config = pending.back();
        pending.pop_back();
        if (config->isMapType()) return 1;
        if (!seen.insert(keyOf(config, config->getStructureOrNull())).second) continue;
        definitions.clear();
        config->getDefinitions(definitions);
        for (const XStructuralFeature* feature : definitions) {
            if (feature->getTypeConfig()) pending.push_back(feature->getTypeConfig());
        }
    }
    return 0;
}

// Two descriptions are the same when every pair of definitions met in step
// is. A pair already under comparison is taken as the same, which is what
// lets two recursive descriptions of one shape compare equal.
int XTypeConfig::isSame(const XTypeConfig* other, int checkNames) const {
    if (!other) return 0;
    using Pair = std::tuple<const XTypeConfig*, const XTypeConfig*, int>;
    std::set<Pair> assumed;
    std::vector<Pair> pending{{this, other, checkNames}};
    std::vector<const XStructuralFeature*> mine;
    std::vector<const XStructuralFeature*> theirs;
    while (!pending.empty()) {
        const auto [a, b, names] = pending.back();
        pending.pop_back();
        if (a == b) continue;
        if (!b || !sameKind(*a, *b)) return 0;
        if (!assumed.insert(Pair{a, b, names}).second) continue;
        const XComplexType* sa = a->getStructureOrNull();
        const XComplexType* sb = b->getStructureOrNull();
        int featureNames = 0;
        if (a->isStructType()) {
            if (!sa || !sb) return 0;
            if (sa == sb) continue;
            if (names && !(sa->getName() == sb->getName())) return 0;
            featureNames = names;
        }
        mine.clear();
        theirs.clear();
        a->getDefinitions(mine);
        b->getDefinitions(theirs);
        if (mine.size() != theirs.size()) return 0;
        for (size_t i = 0; i < mine.size(); ++i) {
            const XStructuralFeature* fa = mine[i];
            const XStructuralFeature* fb = theirs[i];
            if (!fa->getType().isSame(fb->getType())) return 0;
            if (fa->getTypeConfig()) {
                if (!fb->getTypeConfig()) return 0;
                pending.emplace_back(fa->getTypeConfig(), fb->getTypeConfig(), featureNames);
                continue;
            }
            if (!fa->isSame(fb, featureNames)) return 0;
        }
    }
    return 1;
}

// ===== features =====

XStructuralFeature::XStructuralFeature(const unsigned short* name, XType type,
                                       std::shared_ptr<XTypeConfig> config, int precision, int scale,
                                       int upper) {
    initSF(name, type, std::move(config), precision, scale, upper);
}

XStructuralFeature::XStructuralFeature(const XStructuralFeature& other)
    : m_name(other.m_name),
      m_scale(other.m_scale),
      m_precision(other.m_precision),
      m_upper(other.m_upper),
      m_type(other.m_type),
      m_config(other.m_config) {}

XStructuralFeature& XStructuralFeature::operator=(const XStructuralFeature& other) {
    if (this != &other) {
        initSF(other.m_name.getBuffer(), other.m_type, other.m_config, other.m_precision,
               other.m_scale, other.m_upper);
    }
    return *this;
}

// Releases the description below this feature level by level: each
// configuration nobody else holds hands over what it holds before it goes,
// so the destructors called never nest deeper than one level.
XStructuralFeature::~XStructuralFeature() {
    if (!m_config) return;
    std::vector<std::shared_ptr<XTypeConfig>> pending;
    pending.push_back(takeConfig(m_config));
    while (!pending.empty()) {
        std::shared_ptr<XTypeConfig> config = std::move(pending.back());
        pending.pop_back();
        if (config.use_count() == 1) config->detachNested(pending);
    }
}

void XStructuralFeature::initSF(const unsigned short* name, XType type,
                                std::shared_ptr<XTypeConfig> config, int precision, int scale,
                                int upper) {
    m_name = name ? QvUString(name) : QvUString();
    m_type = type;
    m_config = std::move(config);
    m_precision = precision;
    m_scale = scale;
    m_upper = upper;
    m_cyclicState.store(0);
    m_validState.store(0);
}

int XStructuralFeature::isSame(const XStructuralFeature* other, int checkNames) const {
    if (!other || !m_type.isSame(other->m_type)) return 0;
    if (m_config) return m_config->isSame(other->m_config.get(), checkNames);
    if (checkNames && !(m_name == other->m_name)) return 0;
    const int type = m_type.toInteger();
    if (type == eXDT_STRING || type == eXDT_UNISTRING || type == eXDT_BINARY) return 1;
    return m_precision == other->m_precision && m_scale == other->m_scale;
}

int XStructuralFeature::containsMap() const { return m_config ? m_config->containsMap() : 0; }

int XStructuralFeature::isValidFeature(XVisitedStructures* visited) const {
    if (const int known = m_validState.load(std::memory_order_acquire)) return known - 1;
    const int valid = !isHierarchical(this) ? 1 : (m_config ? m_config->isValid(visited) : 0);
    m_validState.store(valid + 1, std::memory_order_release);
    return valid;
}

int XStructuralFeature::isCyclic(XVisitedStructures* visited) const {
    if (!visited) {
        QvAssertHandler(kUnit, __LINE__);
        return 0;
    }
    if (const int known = m_cyclicState.load(std::memory_order_acquire)) return known - 1;
    const int cyclic = isHierarchical(this) && m_config ? m_config->isCyclic(visited) : 0;
    m_cyclicState.store(cyclic + 1, std::memory_order_release);
    return cyclic;
}

// ===== structures =====

XComplexType::XComplexType(const unsigned short* name) : m_name(name ? QvUString(name) : QvUString()) {}

XComplexType::XComplexType(const XComplexType& other) : m_name(other.m_name) {
    m_features.reserve(other.m_features.size());
    for (const auto& feature : other.m_features) {
        m_features.push_back(std::make_unique<XStructuralFeature>(*feature));
    }
}

XComplexType& XComplexType::operator=(const XComplexType& other) {
    if (this != &other) {
        XComplexType copy(other);
        m_features = std::move(copy.m_features);
        m_name = other.m_name;
    }
    return *this;
}

XComplexType::~XComplexType() = default;

void XComplexType::addFeature(XStructuralFeature* feature) {
    addFeature(std::unique_ptr<XStructuralFeature>(feature));
}

void XComplexType::addFeature(std::unique_ptr<XStructuralFeature> feature) {
    if (feature) m_features.push_back(std::move(feature));
}

std::vector<XStructuralFeature*> XComplexType::getFeatures() const {
    std::vector<XStructuralFeature*> out;
    out.reserve(m_features.size());
    for (const auto& feature : m_features) out.push_back(feature.get());
    return out;
}

// The structure's answers are those of a configuration naming it.
int XComplexType::isSame(const XComplexType* other, int checkNames) const {
    if (!other) return 0;
    return XStructTypeConfig::referTo(const_cast<XComplexType*>(this))
        ->isSame(XStructTypeConfig::referTo(const_cast<XComplexType*>(other)).get(), checkNames);
}

int XComplexType::containsMap() const {
    for (const auto& feature : m_features) {
        if (feature->containsMap()) return 1;
    }
    return 0;
}

int XComplexType::isValid(XVisitedStructures* visited) const {
    return XStructTypeConfig::referTo(const_cast<XComplexType*>(this))->isValid(visited);
}

int XComplexType::isCyclic(XVisitedStructures* visited) const {
    return XStructTypeConfig::referTo(const_cast<XComplexType*>(this))->isCyclic(visited);
}

// ===== struct configurations =====

XStructTypeConfig::XStructTypeConfig(std::shared_ptr<XComplexType> structure)
    : m_structure(std::move(structure)) {}

XStructTypeConfig::XStructTypeConfig(XComplexType* structure) : m_structure(structure) {}

std::shared_ptr<XStructTypeConfig> XStructTypeConfig::referTo(XComplexType* structure) {
    // An aliasing pointer without an owner: it never releases the structure.
    return std::make_shared<XStructTypeConfig>(std::shared_ptr<XComplexType>(std::shared_ptr<void>(), structure));
}

XStructTypeConfig::~XStructTypeConfig() = default;

void XStructTypeConfig::setstructure(XComplexType* structure) { m_structure.reset(structure); }

int XStructTypeConfig::isShapeValid() const { return m_structure && m_structure->hasFeatures(); }

void XStructTypeConfig::getDefinitions(std::vector<const XStructuralFeature*>& out) const {
    if (!m_structure) return;
    for (const auto& feature : m_structure->m_features) out.push_back(feature.get());
}

void XStructTypeConfig::detachNested(std::vector<std::shared_ptr<XTypeConfig>>& out) {
    if (m_structure.use_count() != 1) return;
    for (const auto& feature : m_structure->m_features) {
        if (feature->m_config) out.push_back(takeConfig(feature->m_config));
    }
}

XStructuralFeature* XStructTypeConfig::findChild(const unsigned short* name) const {
    if (!m_structure) return nullptr;
    for (const auto& feature : m_structure->m_features) {
        if (namesEqualIgnoringCase(feature->m_name, name)) return feature.get();
    }
    return nullptr;
}

XStructuralFeature* XStructTypeConfig::findNestedChild(const unsigned short* name) const {
    if (!m_structure) return nullptr;
    struct Frame {
        const XComplexType* structure;
        size_t next;
    };
    std::unordered_set<const XComplexType*> searched{m_structure.get()};
    std::vector<Frame> path{{m_structure.get(), 0}};
    while (!path.empty()) {
        Frame& top = path.back();
        if (top.next == top.structure->m_features.size()) {
            path.pop_back();
            continue;
        }
        XStructuralFeature* feature = top.structure->m_features[top.next++].get();
        if (namesEqualIgnoringCase(feature->m_name, name)) return feature;
        const XTypeConfig* config = feature->m_config.get();
        if (!config || !config->isStructType()) continue;
        const XComplexType* inner = static_cast<const XStructTypeConfig*>(config)->getstructure();
        if (inner && searched.insert(inner).second) path.push_back({inner, 0});
    }
    return nullptr;
}

// ===== array configurations =====

XArrayTypeConfig::XArrayTypeConfig(std::shared_ptr<XStructuralFeature> element)
    : m_element(std::move(element)) {}

XArrayTypeConfig::XArrayTypeConfig(XStructuralFeature* element) : m_element(element) {}

XArrayTypeConfig::~XArrayTypeConfig() = default;

void XArrayTypeConfig::getDefinitions(std::vector<const XStructuralFeature*>& out) const {
    if (m_element) out.push_back(m_element.get());
}

void XArrayTypeConfig::detachNested(std::vector<std::shared_ptr<XTypeConfig>>& out) {
    if (m_element.use_count() == 1 && m_element->m_config) {
        out.push_back(takeConfig(m_element->m_config));
    }
}

std::unique_ptr<XArrayTypeConfig> XArrayTypeConfig::findChild(const unsigned short* name) const {
    if (!m_element || !m_element->m_config || !m_element->m_config->isStructType()) return nullptr;
    const auto* structConfig = static_cast<const XStructTypeConfig*>(m_element->m_config.get());
    const XStructuralFeature* field = structConfig->findChild(name);
    if (!field) return nullptr;
    auto element = std::make_shared<XStructuralFeature>(field->m_name.getBuffer(), field->m_type,
                                                        field->m_config, field->m_precision,
                                                        field->m_scale, m_element->m_upper);
    return std::make_unique<XArrayTypeConfig>(std::move(element));
}

// ===== map configurations =====

XMapTypeConfig::XMapTypeConfig(std::shared_ptr<XStructuralFeature> key,
                               std::shared_ptr<XStructuralFeature> value)
    : m_key(std::move(key)), m_value(std::move(value)) {}

XMapTypeConfig::XMapTypeConfig(XStructuralFeature* key, XStructuralFeature* value)
    : m_key(key), m_value(value) {}

XMapTypeConfig::~XMapTypeConfig() = default;

void XMapTypeConfig::getDefinitions(std::vector<const XStructuralFeature*>& out) const {
    if (m_key) out.push_back(m_key.get());
    if (m_value) out.push_back(m_value.get());
}

void XMapTypeConfig::detachNested(std::vector<std::shared_ptr<XTypeConfig>>& out) {
    for (std::shared_ptr<XStructuralFeature>* slot : {&m_key, &m_value}) {
        if (slot->use_count() == 1 && (*slot)->m_config) out.push_back(takeConfig((*slot)->m_config));
    }
}

std::unique_ptr<XArrayTypeConfig> XMapTypeConfig::findChild(const unsigned short* name) const {
    static const QvUString key("key");
    static const QvUString value("value");
    if (!name) return nullptr;
    if (qvUStricmp(key.getBuffer(), name) == 0) return std::make_unique<XArrayTypeConfig>(m_key);
    if (qvUStricmp(value.getBuffer(), name) == 0) return std::make_unique<XArrayTypeConfig>(m_value);
    return nullptr;
}
