#include "write/xml_writer.h"

#include "write/element_writer.h"
#include "write/file_sink.h"
#include "write/memory_sink.h"

namespace plovane {

MemorySink write_to_memory(ElementRecord root, uint64_t indent, bool declaration) {
    MemorySink sink;
    if (declaration) {
        sink.reserve(kXmlDeclaration.size());
        sink.append(kXmlDeclaration);
    }
    XmlWriter writer(sink, indent);
    write_element(writer, root);
    return sink;
}

std::string write_to_string(ElementRecord root, uint64_t indent, bool declaration) {
    return std::string(write_to_memory(std::move(root), indent, declaration).view());
}

std::optional<IoError> write_to_file(ElementRecord root, const std::string& path, uint64_t indent,
                                     bool declaration) {
    FileSink sink;
    if (auto failure = sink.open(path)) return failure;
    XmlWriter writer(sink, indent);
    const bool ok = (!declaration || sink.append(kXmlDeclaration)) && write_element(writer, root) &&
                    sink.flush();
    std::optional<IoError> failure;
    if (!ok) failure = sink.error();
    sink.close();
    return failure;
}

}  // namespace plovane
