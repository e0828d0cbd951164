#include "write/xml_writer.h"

#include "write/element_writer.h"
#include "write/file_sink.h"
#include "write/memory_sink.h"

namespace plovane {

MemorySink write_to_memory(const WriteList& list, uint64_t indent, bool declaration) {
    MemorySink sink;
    if (declaration) {
        sink.reserve(kXmlDeclaration.size());
        sink.append(kXmlDeclaration);
    }
    XmlWriter writer(sink, indent);
    write_elements(writer, list);
    return sink;
}

std::optional<IoError> write_to_file(const WriteList& list, const std::string& path,
                                     uint64_t indent, bool declaration, InterruptCheck interrupt) {
    FileSink sink;
    if (auto failure = sink.open(path, interrupt)) return failure;
    XmlWriter writer(sink, indent);
    const bool ok = (!declaration || sink.append(kXmlDeclaration)) &&
                    write_elements(writer, list) && sink.flush();
    std::optional<IoError> failure;
    if (!ok) failure = sink.error();
    sink.close();
    return failure;
}

}  // namespace plovane
