// Conversion of a node dictionary into NodeForms.
//
// Dictionaries and the lists between them nest without bound, so the
// conversion keeps its own stack: dictionary frames and list frames
// alternate, a dictionary at the bottom. Values that hold no list are
// converted on the spot. A failure travels outwards: a dictionary's failure
// is its list item's failure, which is that list's Vec refusal; the list's
// value is then offered to the remaining variants, and only if they refuse
// too does the failure go on to the enclosing dictionary.
//
// Two faults end the conversion at once, whatever the variants would say: a
// dictionary met again inside itself (the structure contains itself, and
// converting it would never end), and a signal handler that raised.
//
// The caller's containers may change while we read them: converting one
// value can run arbitrary Python code (a sequence's iterator), and on a
// free-threaded interpreter another thread may write at any time. Each
// dictionary is therefore read once, into a snapshot of strong references
// taken inside its critical section, and list items are taken as strong
// references.
#include "entities/hashmap_types.h"

#include <new>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "capi/py_ref.h"
#include "capi/signal_poll.h"
#include "entities/extraction_failure.h"
#include "entities/sequence_check.h"
#include "platform/page_hints.h"
#include "storage/hash_keys.h"

namespace plovane {

namespace {

enum class Key : unsigned char { Name, Attrs, Children, Text, Other };

Key classify(std::string_view key) {
    if (key == "name") return Key::Name;
    if (key == "attrs") return Key::Attrs;
    if (key == "children") return Key::Children;
    if (key == "text") return Key::Text;
    return Key::Other;
}

// A str's UTF-8, or a refusal (the wrong type, or lone surrogates).
bool utf8_of(PyObject* object, std::string_view& out, Refusal& refusal) {
    if (!PyUnicode_Check(object)) {
        refusal = Refusal::mismatch(object, "str");
        return false;
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(object, &size);
    if (!data) {
        refusal = Refusal::raised();
        return false;
    }
    out = std::string_view(data, static_cast<size_t>(size));
    return true;
}

// None and exact dicts, the values met most after str and list, are no
// Sequence: answered without the abstract class's check, which runs Python
// code (slow, and a signal handler raising in there would be taken for a
// refusal of the value).
bool plainly_not_sequence(PyObject* value) {
    return value == Py_None || PyDict_CheckExact(value);
}

// A dictionary being converted; its entries are the snapshot's
// [begin, end), keys and values alternating, read from `next`.
struct DictFrame {
    PyRef dict;
    size_t begin, next, end;
    uint32_t form;
};

// A value that may be a list of node dictionaries, being walked item by item.
struct ListFrame {
    PyRef value;
    PyRef iterator;  // null for an exact list or tuple, read by index
    Py_ssize_t index = 0;
    Key key;
    std::vector<uint32_t> items;  // kept for the "children" key only
};

class Extractor {
  public:
    explicit Extractor(std::vector<NodeForm>& forms) : forms_(forms) {}

    bool run(PyObject* root) {
        if (!open_dict(root)) return false;
        while (!dicts_.empty()) {
            if (!signals_.step()) return false;
            Refusal failure;
            bool ok = dicts_.size() > lists_.size() ? step_dict(failure) : step_list(failure);
            if (ok) continue;
            if (fatal_ || !unwind(std::move(failure))) return false;
        }
        return true;
    }

  private:
    // False (and fatal) with ValueError when `dict` is already being
    // converted further out: it contains itself.
    bool open_dict(PyObject* dict) {
        if (!open_.insert(dict).second) {
            PyErr_SetString(PyExc_ValueError,
                            "the dictionary contains itself: a node cannot be its own descendant");
            fatal_ = true;
            return false;
        }
        const size_t begin = entries_.size();
        try {
            snapshot(dict);
            dicts_.push_back({PyRef::borrow(dict), begin, begin, entries_.size(),
                              static_cast<uint32_t>(forms_.size())});
        } catch (...) {
            entries_.resize(begin);
            open_.erase(dict);
            throw;
        }
        forms_.emplace_back();
        return true;
    }

    void close_dict() {
        const DictFrame& frame = dicts_.back();
        open_.erase(frame.dict.get());
        entries_.resize(frame.begin);
        dicts_.pop_back();
    }

    // Appends the dictionary's keys and values to `entries_`.
    void snapshot(PyObject* dict) {
        bool out_of_memory = false;
        Py_BEGIN_CRITICAL_SECTION(dict);
        try {
            // One allocation, not a doubling series, for a dict of millions.
            grow_fresh(entries_, 2 * static_cast<size_t>(PyDict_GET_SIZE(dict)));
            Py_ssize_t position = 0;
            PyObject *key, *value;
            while (PyDict_Next(dict, &position, &key, &value)) {
                entries_.push_back(PyRef::borrow(key));
                entries_.push_back(PyRef::borrow(value));
            }
        } catch (const std::bad_alloc&) {
            out_of_memory = true;  // thrown below, out of the critical section
        }
        Py_END_CRITICAL_SECTION();
        if (out_of_memory) throw std::bad_alloc();
    }

    // Converts the next entry of the top dictionary, or closes it.
    bool step_dict(Refusal& failure) {
        DictFrame& frame = dicts_.back();
        if (frame.next == frame.end) {
            uint32_t form = frame.form;
            close_dict();
            if (!lists_.empty() && lists_.back().key == Key::Children)
                lists_.back().items.push_back(form);
            return true;
        }
        PyObject* key_object = entries_[frame.next].get();
        PyRef value = PyRef::borrow(entries_[frame.next + 1].get());
        const uint32_t form = frame.form;
        frame.next += 2;
        std::string_view key_text;
        if (!utf8_of(key_object, key_text, failure)) return false;
        return convert_value(std::move(value), classify(key_text), form, failure);
    }

    // Offers a value to the variants in order; a possible list gets a frame
    // of its own and is finished by step_list or unwind.
    bool convert_value(PyRef value, Key key, uint32_t form, Refusal& failure) {
        Refusal string_refusal, vec_refusal;
        if (PyUnicode_Check(value.get())) {
            std::string_view text;
            if (utf8_of(value.get(), text, string_refusal)) {
                store_text(form, key, HashmapTypes::String, text);
                return true;
            }
            vec_refusal = Refusal::str_to_vec();
        } else {
            string_refusal = Refusal::mismatch(value.get(), "str");
            int sequence = plainly_not_sequence(value.get()) ? 0 : is_sequence(value.get());
            if (sequence > 0 && open_list(value, key, vec_refusal)) return true;
            if (sequence < 0) vec_refusal = Refusal::raised();
            if (sequence == 0) vec_refusal = Refusal::mismatch(value.get(), "Sequence");
        }
        return after_vec(value.get(), key, form, std::move(string_refusal), std::move(vec_refusal),
                         failure);
    }

    bool open_list(PyRef& value, Key key, Refusal& refusal) {
        PyRef iterator;
        if (!PyList_CheckExact(value.get()) && !PyTuple_CheckExact(value.get())) {
            iterator = PyRef(PyObject_GetIter(value.get()));
            if (!iterator) {
                refusal = Refusal::raised();
                return false;
            }
        }
        lists_.push_back({std::move(value), std::move(iterator), 0, key, {}});
        return true;
    }

    // The next item of the top list must be a node dictionary; at the end
    // the list is the Vec value of its key.
    bool step_list(Refusal& failure) {
        ListFrame& frame = lists_.back();
        PyRef item;
        if (!next_item(frame, item)) {
            if (PyErr_Occurred()) {
                failure = Refusal::raised();
                return false;
            }
            std::vector<uint32_t> items = std::move(frame.items);
            Key key = frame.key;
            lists_.pop_back();
            store_list(dicts_.back().form, key, std::move(items));
            return true;
        }
        if (!PyDict_Check(item.get())) {
            failure = Refusal::mismatch(item.get(), "dict");
            return false;
        }
        return open_dict(item.get());
    }

    // Reads like the list's own iterator would: the length is checked anew
    // for every item.
    static bool next_item(ListFrame& frame, PyRef& item) {
        PyObject* value = frame.value.get();
        if (frame.iterator) {
            item = PyRef(PyIter_Next(frame.iterator.get()));
            return static_cast<bool>(item);
        }
        if (PyList_CheckExact(value)) {
            if (frame.index >= PyList_GET_SIZE(value)) return false;
            item = PyRef(PyList_GetItemRef(value, frame.index++));
            if (item) return true;
            PyErr_Clear();  // emptied meanwhile by another thread: the end
            return false;
        }
        if (frame.index >= PyTuple_GET_SIZE(value)) return false;
        item = PyRef::borrow(PyTuple_GET_ITEM(value, frame.index++));
        return true;
    }

    // Takes a failure out through the frames until a value accepts another
    // variant (conversion goes on) or the root dictionary fails (false,
    // with the exception set).
    bool unwind(Refusal failure) {
        for (;;) {
            if (dicts_.size() > lists_.size()) {
                close_dict();
                if (dicts_.empty()) {
                    raise_refusal(failure, chain_);
                    return false;
                }
            }
            ListFrame frame = std::move(lists_.back());
            lists_.pop_back();
            Refusal string_refusal = Refusal::mismatch(frame.value.get(), "str");
            if (after_vec(frame.value.get(), frame.key, dicts_.back().form,
                          std::move(string_refusal), std::move(failure), failure))
                return true;
        }
    }

    // The variants after Vec. On success any nested failure behind the Vec
    // refusal is dropped; otherwise the value's four refusals become a new
    // level of the chain.
    bool after_vec(PyObject* value, Key key, uint32_t form, Refusal string_refusal,
                   Refusal vec_refusal, Refusal& failure) {
        Refusal nullable_refusal, map_refusal;
        bool accepted = false;
        if (value == Py_None) {
            store_text(form, key, HashmapTypes::NullableString, std::string_view());
            accepted = true;
        } else if (std::string_view text; utf8_of(value, text, nullable_refusal)) {
            store_text(form, key, HashmapTypes::NullableString, text);
            accepted = true;
        } else if (!PyDict_Check(value)) {
            map_refusal = Refusal::mismatch(value, "dict");
        } else if (convert_map(value, key == Key::Attrs, map_refusal)) {
            store_map(form, key);
            accepted = true;
        }
        if (accepted) {
            chain_.clear();
            return true;
        }
        chain_.push_back({std::move(string_refusal), std::move(vec_refusal),
                          std::move(nullable_refusal), std::move(map_refusal)});
        failure = Refusal::nested();
        return false;
    }

    // A dict from str to str. When the same text occurs twice as a key (str
    // subclasses can do that), the later entry wins (insert_copies).
    bool convert_map(PyObject* dict, bool keep, Refusal& refusal) {
        texts_.clear();
        const size_t begin = entries_.size();
        struct Truncate {
            std::vector<PyRef>& entries;
            size_t size;
            ~Truncate() { entries.resize(size); }
        } truncate{entries_, begin};
        snapshot(dict);
        if (keep) grow_fresh(texts_, (entries_.size() - begin) / 2);
        for (size_t i = begin; i < entries_.size(); i += 2) {
            std::string_view key_text, value_text;
            if (!utf8_of(entries_[i].get(), key_text, refusal) ||
                !utf8_of(entries_[i + 1].get(), value_text, refusal))
                return false;
            if (keep) texts_.emplace_back(key_text, value_text);
        }
        if (!keep) return true;
        map_ = AttrMap();
        // The snapshot in entries_ keeps the strs alive until the map has
        // copied them.
        map_.insert_copies(take_hash_keys(), texts_);
        texts_.clear();
        return true;
    }

    // The stores overwrite: of two keys with the same text the later counts.
    void store_text(uint32_t form, Key key, HashmapTypes kind, std::string_view text) {
        bool has_text =
            kind == HashmapTypes::String || (kind == HashmapTypes::NullableString && text.data());
        store_scalar(forms_[form], key, kind, has_text ? TextRef::owned(text) : TextRef());
    }

    void store_list(uint32_t form, Key key, std::vector<uint32_t> items) {
        NodeForm& node = forms_[form];
        if (key == Key::Children) {
            node.children = {true, HashmapTypes::Vec};
            node.child_forms = std::move(items);
            return;
        }
        store_scalar(node, key, HashmapTypes::Vec, TextRef());
    }

    void store_map(uint32_t form, Key key) {
        NodeForm& node = forms_[form];
        if (key == Key::Attrs) {
            node.attrs = {true, HashmapTypes::Map};
            node.attr_map = std::move(map_);
            return;
        }
        store_scalar(node, key, HashmapTypes::Map, TextRef());
    }

    // A value of variant `kind` under `key`; `text` is its string, absent
    // for the variants (or the None) that carry none.
    static void store_scalar(NodeForm& node, Key key, HashmapTypes kind, TextRef text) {
        switch (key) {
            case Key::Name:
                node.name = {true, kind};
                node.name_text = std::move(text);
                return;
            case Key::Text:
                node.text = {true, kind};
                node.text_text = std::move(text);
                return;
            case Key::Attrs:
                set_attrs(node, kind);
                return;
            case Key::Children:
                set_children(node, kind);
                return;
            case Key::Other:
                return;
        }
    }

    static void set_attrs(NodeForm& node, HashmapTypes kind) {
        node.attrs = {true, kind};
        node.attr_map = AttrMap();
    }

    static void set_children(NodeForm& node, HashmapTypes kind) {
        node.children = {true, kind};
        node.child_forms.clear();
    }

    std::vector<NodeForm>& forms_;
    std::vector<PyRef> entries_;          // the open dictionaries' snapshots, innermost last
    std::unordered_set<PyObject*> open_;  // the dictionaries of dicts_
    SignalPoll signals_;
    bool fatal_ = false;
    std::vector<DictFrame> dicts_;
    std::vector<ListFrame> lists_;
    FailureChain chain_;
    std::vector<std::pair<std::string_view, std::string_view>> texts_;  // scratch for convert_map
    AttrMap map_;  // the last map kept by convert_map
};

}  // namespace

bool extract_forms(PyObject* dict, std::vector<NodeForm>& forms) {
    return Extractor(forms).run(dict);
}

}  // namespace plovane
