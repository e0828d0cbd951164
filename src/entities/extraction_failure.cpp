#include "entities/extraction_failure.h"

#include <cstring>
#include <string_view>
#include <unordered_set>

#include "capi/errors.h"
#include "capi/text_strings.h"
#include "simd/utf8_units.h"

namespace plovane {

namespace {

constexpr std::string_view kEnumHeader =
    "failed to extract enum HashmapTypes ('String | Vec | NullableString | Map')";

// The UTF-8 of `text`, with U+FFFD for code points UTF-8 cannot carry (lone
// surrogates), so a message can always be shown.
void append_lossy(std::string& out, PyObject* text) {
    Py_ssize_t size = 0;
    if (const char* data = PyUnicode_AsUTF8AndSize(text, &size)) {
        out.append(data, static_cast<size_t>(size));
        return;
    }
    PyErr_Clear();
    const Py_ssize_t length = PyUnicode_GET_LENGTH(text);
    for (Py_ssize_t i = 0; i < length; ++i) {
        Py_UCS4 c = PyUnicode_READ_CHAR(text, i);
        if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
        unsigned char bytes[4];
        const unsigned char* end = put_code_point(c, bytes);
        out.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(end - bytes));
    }
}

// The str `made` (a new reference), or `fallback` when making it failed
// (null, with an exception set, which is cleared).
void append_made(std::string& out, PyObject* made, std::string_view fallback) {
    PyRef text(made);
    if (!text) {
        PyErr_Clear();
        out += fallback;
        return;
    }
    append_lossy(out, text.get());
}

void append_type_name(std::string& out, PyObject* type) {
    append_made(out, PyType_GetName(reinterpret_cast<PyTypeObject*>(type)), "?");
}

// "<type>: <message>", as an exception is shown.
void append_exception(std::string& out, PyObject* exception) {
    append_type_name(out, reinterpret_cast<PyObject*>(Py_TYPE(exception)));
    out += ": ";
    append_made(out, PyObject_Str(exception), "<exception str() failed>");
}

// The exception and each cause behind it in turn. A cycle of causes is
// followed once round.
void append_raised(std::string& out, PyObject* exception) {
    std::unordered_set<PyObject*> seen;
    PyRef current = PyRef::borrow(exception);
    while (current && seen.insert(current.get()).second) {
        if (seen.size() > 1) out += ", caused by ";
        append_exception(out, current.get());
        current = PyRef(PyException_GetCause(current.get()));
    }
}

// A refusal as the cause of its variant's failure. Our own TypeErrors have
// no cause of their own.
void append_cause(std::string& out, const Refusal& refusal) {
    switch (refusal.kind) {
        case Refusal::Kind::Mismatch:
            out += "TypeError: ";
            out += mismatch_message(refusal.object.get(), refusal.expected);
            return;
        case Refusal::Kind::StrToVec:
            out += "TypeError: Can't extract `str` to `Vec`";
            return;
        case Refusal::Kind::Raised:
            append_raised(out, refusal.object.get());
            return;
        case Refusal::Kind::Nested:
            // Written by the caller, which walks the chain.
            return;
    }
}

void append_variant_head(std::string& out, std::string_view variant) {
    out += "\n- variant ";
    out += variant;
    out += " (";
    out += variant;
    out += "): TypeError: failed to extract field HashmapTypes::";
    out += variant;
    out += ".0, caused by ";
}

void append_variant(std::string& out, std::string_view variant, const Refusal& refusal) {
    append_variant_head(out, variant);
    append_cause(out, refusal);
}

// Levels are nested through their Vec lines: each level's String and Vec
// lines come before the level below it, its NullableString and Map lines
// after.
std::string enum_failure_message(const FailureChain& chain) {
    std::string out;
    size_t innermost = 0;
    for (size_t level = chain.size(); level-- > 0;) {
        const EnumFailure& failure = chain[level];
        out += kEnumHeader;
        append_variant(out, "String", failure.string);
        append_variant_head(out, "Vec");
        if (failure.vec.kind == Refusal::Kind::Nested && level > 0) {
            out += "TypeError: ";
            continue;
        }
        append_cause(out, failure.vec);
        innermost = level;
        break;
    }
    for (size_t level = innermost; level < chain.size(); ++level) {
        append_variant(out, "NullableString", chain[level].nullable_string);
        append_variant(out, "Map", chain[level].map);
    }
    return out;
}

}  // namespace

Refusal Refusal::mismatch(PyObject* refused, const char* expected) {
    Refusal refusal;
    refusal.kind = Kind::Mismatch;
    refusal.expected = expected;
    refusal.object = PyRef::borrow(reinterpret_cast<PyObject*>(Py_TYPE(refused)));
    return refusal;
}

Refusal Refusal::str_to_vec() {
    Refusal refusal;
    refusal.kind = Kind::StrToVec;
    return refusal;
}

Refusal Refusal::raised() {
    Refusal refusal;
    refusal.kind = Kind::Raised;
    refusal.object = PyRef(PyErr_GetRaisedException());
    return refusal;
}

Refusal Refusal::nested() {
    Refusal refusal;
    refusal.kind = Kind::Nested;
    return refusal;
}

// None reads "'None' is not an instance of ...", as in every other
// conversion of the module.
std::string mismatch_message(PyObject* refused_type, const char* expected) {
    std::string out;
    if (refused_type == reinterpret_cast<PyObject*>(Py_TYPE(Py_None))) {
        out = "'None' is not an instance of '";
        out += expected;
        out += '\'';
        return out;
    }
    out += '\'';
    append_type_name(out, refused_type);
    out += "' object is not an instance of '";
    out += expected;
    out += '\'';
    return out;
}

void raise_refusal(const Refusal& refusal, const FailureChain& chain) {
    std::string message;
    switch (refusal.kind) {
        case Refusal::Kind::Raised:
            if (!refusal.object)
                return raise_internal_error("a conversion failed without an exception");
            PyErr_SetRaisedException(Py_NewRef(refusal.object.get()));
            return;
        case Refusal::Kind::Mismatch:
            message = mismatch_message(refusal.object.get(), refusal.expected);
            break;
        case Refusal::Kind::StrToVec:
            message = "Can't extract `str` to `Vec`";
            break;
        case Refusal::Kind::Nested:
            message = enum_failure_message(chain);
            break;
    }
    PyRef text(text_to_python(message));
    if (text) PyErr_SetObject(PyExc_TypeError, text.get());
}

}  // namespace plovane
