#include "storage/file_text.h"

#include <algorithm>

#include "platform/file.h"
#include "storage/utf8_validate.h"

namespace plovane {

namespace {

// Reads everything up to the end of the file into `text`. `expected` is the
// size the file reported; files may grow or shrink meanwhile, and some
// report 0 whatever they hold.
std::optional<IoError> read_to_end(File& file, size_t expected, std::string& text,
                                   InterruptCheck interrupt) {
    constexpr size_t kMinGrowth = 8192;
    text.resize(expected);
    size_t filled = 0;
    for (;;) {
        size_t got = 0;
        if (filled == text.size()) {
            // Probe with a small read before growing: usually the file has
            // exactly the reported size and this read finds its end.
            char probe[64];
            if (auto error = file.read_some(probe, sizeof probe, got, interrupt)) return error;
            if (got == 0) break;
            text.resize(filled + std::max(filled, kMinGrowth));
            std::copy(probe, probe + got, text.data() + filled);
            filled += got;
            continue;
        }
        if (auto error = file.read_some(text.data() + filled, text.size() - filled, got, interrupt))
            return error;
        if (got == 0) break;
        filled += got;
    }
    text.resize(filled);
    return std::nullopt;
}

}  // namespace

Expected<SourceRef, IoError> read_text_file(const std::string& path, InterruptCheck interrupt) {
    File file;
    if (auto error = file.open_for_reading(path, interrupt)) return unexpected(*error);
    std::string text;
    // A directory opens fine for reading; its first read fails with EISDIR.
    if (auto error = read_to_end(file, static_cast<size_t>(file.regular_size()), text, interrupt))
        return unexpected(*error);
    if (!is_valid_utf8(text.data(), text.size())) {
        return unexpected(IoError::with_message("stream did not contain valid UTF-8"));
    }
    return SharedSource::owned(std::move(text));
}

}  // namespace plovane
