// Builders of hierarchical type descriptions for tests: a struct, array or
// map description in one expression, with the host's hierarchical custom
// types registered first.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>

#include "qvcmnexpr/xtypeconfig.h"
#include "qvi18n.h"

namespace htest {

inline XType structId() { return XTypeConfig::getStructTypeId(); }
inline XType arrayId() { return XTypeConfig::getArrayTypeId(); }
inline XType mapId() { return XTypeConfig::getMapTypeId(); }

// The kind id that a description of `config`'s kind carries.
inline XType idOf(const XTypeConfig* config) {
    if (!config) return XType(eXDT_INT);
    return config->isStructType() ? structId() : config->isArrayType() ? arrayId() : mapId();
}

using Feature = std::shared_ptr<XStructuralFeature>;
using Config = std::shared_ptr<XTypeConfig>;

inline Feature scalar(const char* name, int type, int precision = 10, int scale = 0) {
    return std::make_shared<XStructuralFeature>(QvUString(name).getBuffer(), XType(type), nullptr,
                                                precision, scale);
}

inline Feature nested(const char* name, Config config, int upper = 0) {
    const XType type = idOf(config.get());
    return std::make_shared<XStructuralFeature>(QvUString(name).getBuffer(), type, std::move(config),
                                                0, 0, upper);
}

// A structure of copies of `features` (which share their configurations).
inline std::shared_ptr<XComplexType> structure(const char* name, std::initializer_list<Feature> features) {
    auto out = std::make_shared<XComplexType>(QvUString(name).getBuffer());
    for (const Feature& feature : features) out->addFeature(std::make_unique<XStructuralFeature>(*feature));
    return out;
}

inline Config structOf(const char* name, std::initializer_list<Feature> features) {
    return std::make_shared<XStructTypeConfig>(structure(name, features));
}

inline Config arrayOf(Feature element) { return std::make_shared<XArrayTypeConfig>(std::move(element)); }

inline Config mapOf(Feature key, Feature value) {
    return std::make_shared<XMapTypeConfig>(std::move(key), std::move(value));
}

inline std::u16string u16(const char* text) {
    std::u16string out;
    while (*text) out.push_back(static_cast<char16_t>(*text++));
    return out;
}

inline const unsigned short* us(const std::u16string& text) {
    return reinterpret_cast<const unsigned short*>(text.c_str());
}

}  // namespace htest
