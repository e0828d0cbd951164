#include <cstdint>

#include "write/element_writer.h"
#include "write/xml_writer.h"

namespace plovane {

namespace {

// Runs the writer's layout without producing output, adding up the spaces.
class SpaceCounter {
  public:
    bool append(std::string_view) noexcept { return true; }
    bool append_spaces(uint64_t count) noexcept {
        if (__builtin_add_overflow(total_, count, &total_)) total_ = UINT64_MAX;
        return true;
    }
    uint64_t total() const noexcept { return total_; }

  private:
    uint64_t total_ = 0;
};

// Escaped text holds no indentation; there is nothing to scan.
bool write_escaped(SpaceCounter&, std::string_view, bool) noexcept {
    return true;
}

}  // namespace

uint64_t indentation_bytes(const ElementRecord& root, uint64_t indent) {
    SpaceCounter counter;
    XmlWriter writer(counter, indent);
    write_element(writer, root);
    return counter.total();
}

}  // namespace plovane
