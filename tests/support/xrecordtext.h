// One line that says what a metadata record holds, so that a test compares
// a whole record with one expected text instead of field by field.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "xanswers.h"
#include "qvcmnexpr/xenum.h"
#include "qvcmnexpr/xmetadata.h"

namespace xtestsupport {

// The type's enumerator without its prefix ("INT", "UNINIT"), or its number.
inline std::string typeText(const XType& type) {
    const char* name = type.toString();
    if (XEnum::isUnknownEnumStr(name)) return std::to_string(type.toInteger());
    const std::string text = name;
    const size_t cut = text.find('_');
    return cut == std::string::npos ? text : text.substr(cut + 1);
}

using PointerNames = std::vector<std::pair<const void*, const char*>>;

// "TYPE/length/scale aKIND", then the flags that are set, the objects it
// points at (named by `names`, "?" for others) and an upgrade record's
// older type, length and aggregation.
inline std::string recordText(const XMetadata& md, const PointerNames& names = {}) {
    auto n = [](int v) { return std::to_string(v); };
    auto named = [&names](const void* p) -> std::string {
        for (const auto& [pointer, name] : names)
            if (pointer == p) return name;
        return "?";
    };
    std::string out = typeText(md.getDataType()) + "/" + n(md.getNumCharsMax().toInteger()) + "/" +
                      n(md.getScale().toInteger()) + " a" + n(md.getArgType().toInteger());
    if (md.isConst()) out += " const";
    if (md.isParam()) out += " param" + n(md.isParam());
    if (md.isWindowFunc()) out += " window";
    if (md.isValueRefSet()) out += " valueRef";
    if (md.containsNullChild()) out += " nullChild";
    if (md.getRef().getCPtr()) out += " ref=" + named(md.getRef().getCPtr());
    if (md.getTrtInfoV()) out += " trt=" + named(md.getTrtInfoV());
    if (md.getTypeAttrsV()) out += " attrs=" + named(md.getTypeAttrsV());
    if (md.getZevaTypeMetadataV()) out += " zeva=" + named(md.getZevaTypeMetadataV());
    if (md.hasUgdInfo())
        out += " old " + typeText(md.getDataType60()) + "/" + n(md.getNumCharsMax60().toInteger()) + " agg" +
               n(md.getAggType60());
    return out;
}

}  // namespace xtestsupport
