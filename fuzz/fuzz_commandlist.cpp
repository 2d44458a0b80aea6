// The command-file list on any text: every entry is a piece of the input, in order, none is
// blank or spans a line end, and one that holds a comma was opened by a double quote.
#include "console/commandlist.h"

#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    size_t from = 0;
    for (const std::string& entry : qelp::ParseCommandFileList(text)) {
        FUZZ_CHECK(entry.find_first_not_of(" \t") != std::string::npos);
        FUZZ_CHECK(entry.find_first_of("\r\n") == std::string::npos);
        const size_t at = text.find(entry, from);
        FUZZ_CHECK(at != std::string_view::npos);
        if (entry.find(',') != std::string::npos)
            FUZZ_CHECK(text.find('"' + entry, from > 0 ? from - 1 : 0) != std::string_view::npos);
        from = at + entry.size();
    }
    return 0;
}
