// Descriptions of hierarchical types: structs (named features), arrays (one
// element definition) and maps (a key and a value definition).
//
// A port of hierarchical type carries one of these descriptions in its
// metadata; the validator walks it to type member references (a.b, a..b),
// subscripts (a[1], m['k']) and to decide whether two hierarchical operands
// have the same type. Features may themselves be hierarchical, so the
// descriptions form a graph that can nest without bound and even refer back
// to itself. Every walk over that graph here is iterative with its own
// visited set, so neither a deep nor a recursive description can exhaust
// the stack or loop. The answers of the validity and cycle checks are kept
// in the object that computed them; a description may be shared by threads.
//
// Ownership: a feature shares its type configuration, a struct configuration
// shares its structure, a structure owns its features, array and map
// configurations share their definitions. A recursive description must not
// own itself: the structure a feature refers back to is referred to without
// ownership (XStructTypeConfig::referTo), its owner keeps it alive. Releasing
// a description, however deep, takes constant stack.
#pragma once

#include <atomic>
#include <memory>
#include <unordered_set>
#include <vector>

#include "qvcmnexpr/qvcmnexpr_export.h"
#include "qvcmnexpr/xtype.h"
#include "qvi18n.h"

class XComplexType;
class XStructuralFeature;

// The structures met so far by a validity or cycle check.
using XVisitedStructures = std::unordered_set<const XComplexType*>;

class QVCMNEXPR_API XTypeConfig {
public:
    XTypeConfig() = default;
    XTypeConfig(const XTypeConfig&);
    XTypeConfig& operator=(const XTypeConfig&);
    virtual ~XTypeConfig();

    // Registers the three hierarchical custom types with the host under their
    // platform identifiers unless they are registered already: for an
    // embedding application (or a catalog) that declares hierarchical ports.
    // 0 when all three exist afterwards, else -1 (no custom id left).
    static int registerHierarchicalTypes();
    // The custom type id of each kind (0 while not registered).
    static XType getStructTypeId();
    static XType getArrayTypeId();
    static XType getMapTypeId();

    virtual int isStructType() const { return 0; }
    virtual int isArrayType() const { return 0; }
    virtual int isMapType() const { return 0; }
    // Identity unless a kind says otherwise (a map equals only itself).
    virtual bool operator==(const XTypeConfig& other) const { return this == &other; }
    bool operator!=(const XTypeConfig& other) const { return !(*this == other); }
    // Same type: same shape, same scalar types, precision and scale (string
    // and binary lengths aside); names of struct features only with checkNames.
    int isSame(const XTypeConfig* other, int checkNames) const;
    // A map anywhere inside.
    int containsMap() const;
    // Computed once and cached in this object; `visited` (null: a fresh set)
    // holds structures already being checked by the caller.
    int isValid(XVisitedStructures* visited) const;
    int isCyclic(XVisitedStructures* visited) const;

    // The definitions directly inside: a struct's features, an array's
    // element, a map's key and value.
    virtual void getDefinitions(std::vector<const XStructuralFeature*>& out) const = 0;
    // Moves the type configurations of definitions held by nobody else into
    // `out`, so that releasing a deep description needs no deep recursion.
    virtual void detachNested(std::vector<std::shared_ptr<XTypeConfig>>& out) = 0;

protected:
    // Validity of this configuration alone (its own members present).
    virtual int isShapeValid() const = 0;
    // The structure this configuration names, if it is a struct.
    virtual const XComplexType* getStructureOrNull() const { return nullptr; }

private:
    // Cached answers: 0 not known yet, else the answer + 1. Threads that
    // check one shared description at once compute the same answer, so a
    // single atomic value each is all the sharing needs.
    mutable std::atomic<int> m_cyclicState{0};
    mutable std::atomic<int> m_validState{0};
};

class QVCMNEXPR_API XStructuralFeature {
public:
    XStructuralFeature(const unsigned short* name, XType type, std::shared_ptr<XTypeConfig> config,
                       int precision, int scale, int upper = 0);
    XStructuralFeature(const XStructuralFeature& other);
    XStructuralFeature& operator=(const XStructuralFeature& other);
    ~XStructuralFeature();

    void initSF(const unsigned short* name, XType type, std::shared_ptr<XTypeConfig> config,
                int precision, int scale, int upper);
    QvUString getName() const { return m_name; }
    const QvUString& name() const { return m_name; }
    XType getType() const { return m_type; }
    XTypeConfig* getTypeConfig() const { return m_config.get(); }
    const std::shared_ptr<XTypeConfig>& sharedTypeConfig() const { return m_config; }
    int getPrecision() const { return m_precision; }
    int getScale() const { return m_scale; }
    int getUpper() const { return m_upper; }

    int isSame(const XStructuralFeature* other, int checkNames) const;
    int containsMap() const;
    int isValidFeature(XVisitedStructures* visited) const;
    // The caller must give the visited set.
    int isCyclic(XVisitedStructures* visited) const;

private:
    friend class XStructTypeConfig;
    friend class XArrayTypeConfig;
    friend class XMapTypeConfig;

    QvUString m_name;
    int m_scale = 0;
    int m_precision = 0;
    int m_upper = 0;
    XType m_type;
    std::shared_ptr<XTypeConfig> m_config;
    // As in XTypeConfig: 0 not known yet, else the answer + 1.
    mutable std::atomic<int> m_cyclicState{0};
    mutable std::atomic<int> m_validState{0};
};

// A structure: named features in declaration order.
class QVCMNEXPR_API XComplexType {
public:
    XComplexType() = default;
    explicit XComplexType(const unsigned short* name);
    // Copies hold copies of the features, which share their configurations.
    XComplexType(const XComplexType& other);
    XComplexType& operator=(const XComplexType& other);
    ~XComplexType();

    // Appends; the structure takes ownership.
    void addFeature(XStructuralFeature* feature);
    void addFeature(std::unique_ptr<XStructuralFeature> feature);
    std::vector<XStructuralFeature*> getFeatures() const;
    size_t getNumFeatures() const { return m_features.size(); }
    XStructuralFeature* getFeature(size_t i) const { return m_features[i].get(); }
    QvUString getName() const { return m_name; }
    int hasFeatures() const { return m_features.empty() ? 0 : 1; }

    int isSame(const XComplexType* other, int checkNames) const;
    int containsMap() const;
    int isValid(XVisitedStructures* visited) const;
    int isCyclic(XVisitedStructures* visited) const;

private:
    friend class XStructTypeConfig;
    std::vector<std::unique_ptr<XStructuralFeature>> m_features;
    QvUString m_name;
};

class QVCMNEXPR_API XStructTypeConfig : public XTypeConfig {
public:
    XStructTypeConfig() = default;
    explicit XStructTypeConfig(std::shared_ptr<XComplexType> structure);
    // Takes ownership of `structure`.
    explicit XStructTypeConfig(XComplexType* structure);
    // Refers to `structure` without owning it: for a description that refers
    // back to itself, and for structures kept by a catalog.
    static std::shared_ptr<XStructTypeConfig> referTo(XComplexType* structure);
    ~XStructTypeConfig() override;

    int isStructType() const override { return 1; }
    bool operator==(const XTypeConfig& other) const override { return isSame(&other, 0) != 0; }

    XComplexType* getstructure() const { return m_structure.get(); }
    void setstructure(XComplexType* structure);
    // The first feature named `name` (ignoring case), owned by the structure.
    XStructuralFeature* findChild(const unsigned short* name) const;
    // The first feature named `name` at any depth, features searched in
    // order, depth first; each structure searched once. Array and map
    // features are matched by their own name only: they hold no features.
    XStructuralFeature* findNestedChild(const unsigned short* name) const;

    void getDefinitions(std::vector<const XStructuralFeature*>& out) const override;
    void detachNested(std::vector<std::shared_ptr<XTypeConfig>>& out) override;

protected:
    int isShapeValid() const override;
    const XComplexType* getStructureOrNull() const override { return m_structure.get(); }

private:
    std::shared_ptr<XComplexType> m_structure;
};

class QVCMNEXPR_API XArrayTypeConfig : public XTypeConfig {
public:
    XArrayTypeConfig() = default;
    explicit XArrayTypeConfig(std::shared_ptr<XStructuralFeature> element);
    explicit XArrayTypeConfig(XStructuralFeature* element);
    ~XArrayTypeConfig() override;

    int isArrayType() const override { return 1; }
    bool operator==(const XTypeConfig& other) const override { return isSame(&other, 0) != 0; }

    XStructuralFeature* getArrayDefinition() const { return m_element.get(); }
    // For an array of structs, the field `name` as an array of that field
    // (owned by the caller); else null.
    std::unique_ptr<XArrayTypeConfig> findChild(const unsigned short* name) const;

    void getDefinitions(std::vector<const XStructuralFeature*>& out) const override;
    void detachNested(std::vector<std::shared_ptr<XTypeConfig>>& out) override;

protected:
    int isShapeValid() const override { return m_element ? 1 : 0; }

private:
    std::shared_ptr<XStructuralFeature> m_element;
};

class QVCMNEXPR_API XMapTypeConfig : public XTypeConfig {
public:
    XMapTypeConfig() = default;
    XMapTypeConfig(std::shared_ptr<XStructuralFeature> key, std::shared_ptr<XStructuralFeature> value);
    XMapTypeConfig(XStructuralFeature* key, XStructuralFeature* value);
    ~XMapTypeConfig() override;

    int isMapType() const override { return 1; }

    XStructuralFeature* getKeyDefinition() const { return m_key.get(); }
    XStructuralFeature* getValueDefinition() const { return m_value.get(); }
    // "key" or "value" (ignoring case) as an array of that definition
    // (owned by the caller); else null.
    std::unique_ptr<XArrayTypeConfig> findChild(const unsigned short* name) const;

    void getDefinitions(std::vector<const XStructuralFeature*>& out) const override;
    void detachNested(std::vector<std::shared_ptr<XTypeConfig>>& out) override;

protected:
    int isShapeValid() const override { return m_key && m_value ? 1 : 0; }

private:
    std::shared_ptr<XStructuralFeature> m_key;
    std::shared_ptr<XStructuralFeature> m_value;
};
