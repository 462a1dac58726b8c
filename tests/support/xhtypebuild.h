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

using Feature = std::shared_ptr<XStructuralFeature>;
using Config = std::shared_ptr<XTypeConfig>;

inline XType structId() { return XTypeConfig::getStructTypeId(); }

// The kind id that a description of `config`'s kind carries.
inline XType idOf(const XTypeConfig* config) {
    if (!config) return XType(eXDT_INT);
    if (config->isStructType()) return structId();
    return config->isArrayType() ? XTypeConfig::getArrayTypeId() : XTypeConfig::getMapTypeId();
}

inline Feature scalar(const char* name, int type, int precision = 10, int scale = 0) {
    return std::make_shared<XStructuralFeature>(QvUString(name).getBuffer(), XType(type), nullptr, precision, scale);
}

inline Feature nested(const char* name, Config config, int upper = 0) {
    const XType type = idOf(config.get());
    return std::make_shared<XStructuralFeature>(QvUString(name).getBuffer(), type, std::move(config), 0, 0, upper);
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
inline Config mapOf(Feature k, Feature v) { return std::make_shared<XMapTypeConfig>(std::move(k), std::move(v)); }

// `text` (ASCII) as the host's 16-bit string, alive for the full expression.
inline const unsigned short* us(const std::u16string& s) { return reinterpret_cast<const unsigned short*>(s.c_str()); }
inline std::u16string u16(const char* text) { return std::u16string(text, text + std::char_traits<char>::length(text)); }

}  // namespace htest
