// Constants made directly, past the creators: the constructor is private and
// this class is the friend the library names for tests.
#pragma once

#include <memory>
#include <utility>

#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xnodeconst.h"

class XNodeConstTestAccess {
public:
    // A constant over begin..end; `type` (when given) overrides the class's own.
    template <class T> static std::unique_ptr<XNodeConst<T>> make(T value, int begin = 0, int end = 1, int type = -1) {
        std::unique_ptr<XNodeConst<T>> node(
            new XNodeConst<T>(std::move(value), begin, end, std::make_unique<XMetadata>()));
        if (type != -1) node->setDataType(XType(type));
        return node;
    }
};
