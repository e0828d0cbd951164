// The intermediate form between a node dictionary and a node.
//
// Every value of a node dictionary is converted to the first of the four
// HashmapTypes variants that accepts it, tried in declaration order, before
// anything is built; type errors anywhere in the nested structure are thus
// found before any node is made. Of each dictionary only what a node is
// built from is kept: the variant of each of its four fields, and the
// payload when the variant is the one the field needs. Values of other keys
// are checked all the same.
#pragma once

#include <Python.h>

#include <cstdint>
#include <vector>

#include "storage/attr_map.h"
#include "storage/text_ref.h"

namespace plovane {

enum class HashmapTypes : unsigned char {
    String,          // a str
    Vec,             // a sequence of node dictionaries
    NullableString,  // None (a str is always taken as String first)
    Map,             // a dict from str to str
};

struct FormField {
    bool present = false;
    HashmapTypes kind = HashmapTypes::String;
    bool is(HashmapTypes wanted) const { return present && kind == wanted; }
};

// One node dictionary, converted.
struct NodeForm {
    FormField name, attrs, children, text;
    TextRef name_text;                  // name is String
    TextRef text_text;                  // text is String
    AttrMap attr_map;                   // attrs is Map (a freshly seeded map)
    std::vector<uint32_t> child_forms;  // children is Vec: indices of the item forms
};

// Converts `dict` (a dict) and everything nested in it into `forms`, the
// root at index 0. Returns false with the conversion's TypeError (or the
// exception met on the way) set.
bool extract_forms(PyObject* dict, std::vector<NodeForm>& forms);

}  // namespace plovane
