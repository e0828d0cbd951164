// Why a value of a node dictionary could not be converted, kept in a cheap
// form until it has to be shown.
//
// Every value is offered to the HashmapTypes variants in turn, and most
// values are refused by one or more of them before one accepts: a refusal
// therefore only records what is needed to word it later. Only when all four
// variants refuse a value does the conversion fail, and the message then
// lists each variant's refusal. A list item that fails makes its list's Vec
// refusal, so failures nest one level per dictionary level; the levels are
// kept in a flat chain and the message is written in one pass, so even a
// failure a million levels down costs time linear in its message.
#pragma once

#include <Python.h>

#include <string>
#include <vector>

#include "capi/py_ref.h"

namespace plovane {

struct Refusal {
    enum class Kind : unsigned char {
        Mismatch,  // TypeError: an object of the wrong type
        StrToVec,  // TypeError: a str offered as a list
        Raised,    // an exception raised while looking at the value
        Nested,    // the enum failure one level further in
    };
    Kind kind = Kind::Mismatch;
    const char* expected = nullptr;  // Mismatch: the type name that was wanted
    PyRef object;                    // Mismatch: the refused object's type; Raised: the exception

    static Refusal mismatch(PyObject* refused, const char* expected);
    static Refusal str_to_vec();
    // Takes the pending exception.
    static Refusal raised();
    static Refusal nested();
};

// The four refusals of one value, in the order the variants are tried.
struct EnumFailure {
    Refusal string, vec, nullable_string, map;
};

// The enum failures of one nested failure, innermost first: every level
// above the first has a Nested Vec refusal that stands for the level below.
using FailureChain = std::vector<EnumFailure>;

// TypeError's wording for `refused` not being an `expected`.
std::string mismatch_message(PyObject* refused_type, const char* expected);

// Raises the failure of a whole conversion: the refusal's own exception, or
// for Nested the TypeError listing the chain's variants.
void raise_refusal(const Refusal& refusal, const FailureChain& chain);

}  // namespace plovane
