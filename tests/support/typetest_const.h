// Constants made directly, past the creators: the constructor is private and
// this class is the friend the library names for tests.
#pragma once

#include <memory>
#include <utility>

#include "qvcmnexpr/xmetadata.h"
#include "qvcmnexpr/xnodeconst.h"

class XNodeConstTestAccess {
public:
    // A constant over begin..end; `type` (when given) overrides the class's
    // own, `chars` sets its length, and a `null` constant has no value.
    template <class T>
    static std::unique_ptr<XNodeConst<T>> make(T value, int begin = 0, int end = 1, int type = -1, int chars = -1,
                                               bool null = false) {
        std::unique_ptr<XNodeConst<T>> node(
            new XNodeConst<T>(std::move(value), begin, end, std::make_unique<XMetadata>()));
        if (type != -1) node->setDataType(XType(type));
        if (chars != -1) node->setNumCharsMax(chars);
        if (null) node->getIndRef() = -1;
        return node;
    }
};
